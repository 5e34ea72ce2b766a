// The command channel against a scripted port: where a reply ends, what reaches the text, and
// what a failed write leaves out.
#include "scan/command_channel.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "scan/error_payload.hpp"
#include "scan/lossy_utf8.hpp"
#include "scan/prompt_searcher.hpp"
#include "scan/scripted_port.hpp"

namespace sparvik::scan {
namespace {

using testing::bytes_of;
using testing::ScriptedPort;
using testing::timed_out;
using Clock = std::chrono::steady_clock;

std::string as_text(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

struct ReadCase {
  const char* name;
  std::vector<ScriptedPort::Read> script;
  std::string reply;
  std::size_t reads;
};

TEST(ReadPort, EndsAtThePromptOfOneReadOrAtTheFirstFailedRead) {
  const std::string a254(254, 'a');
  const ReadCase cases[] = {
      {"prompt in the one read",
       {bytes_of("version\r\ntinySA\r\nch> ")},
       "version\r\ntinySA\r\n",
       1},
      {"spread over reads", {bytes_of("abc"), bytes_of("def"), bytes_of("ghch> ")}, "abcdefgh", 3},
      {"prompt at the start of a read", {bytes_of("abc"), bytes_of("ch> xyz")}, "abc", 2},
      {"bytes after the prompt dropped", {bytes_of("data\r\nch> more ch> ")}, "data\r\n", 1},
      {"prompt split between reads",
       {bytes_of("abc"), bytes_of("c"), bytes_of("h> ")},
       "abcch> ",
       4},
      // "zc" lands on "zzh>": a search past the fresh bytes would see "ch>" in "zch>".
      {"stale buffer bytes ignored", {bytes_of("zzh>"), bytes_of("zc")}, "zzh>zc", 3},
      {"no answer", {}, "", 1},
      {"I/O error ends the reply",
       {bytes_of("abc"), IoError::from_errno(EIO), bytes_of("ch>")},
       "abc",
       2},
      // 256 bytes per read: the prompt straddles two reads and is not seen.
      {"prompt across the buffer boundary", {bytes_of(a254 + "ch> ")}, a254 + "ch> ", 3},
      {"long reply over full buffers",
       {bytes_of(std::string(600, 'b') + "ch>")},
       std::string(600, 'b'),
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPort port(c.script);
    EXPECT_EQ(as_text(read_port(port)), c.reply);
    EXPECT_EQ(port.reads(), c.reads);
    for (std::size_t size : port.buffer_sizes) EXPECT_EQ(size, 256u);
  }
}

TEST(ReadPort, StopsCollectingAtTheCapOfADeviceThatNeverSendsThePrompt) {
  // More than the cap, then a prompt that must never be reached.
  ScriptedPort port({bytes_of(std::string(3 * kMaxCommandReply, 'n') + "ch>")});
  const auto reply = read_port(port);
  EXPECT_EQ(reply.size(), kMaxCommandReply);
  EXPECT_EQ(port.reads(), kMaxCommandReply / 256);
  // A reply that fits below the cap is unchanged (the prompt arrives in its 256th read).
  ScriptedPort fits({bytes_of(std::string(kMaxCommandReply - 256, 'n') + "ch>")});
  EXPECT_EQ(read_port(fits).size(), kMaxCommandReply - 256);
}

TEST(SendCmd, WritesOnceWaitsAndReturnsTheReplyUntrimmed) {
  ScriptedPort port({bytes_of("version\r\ntinySA_v1.4\r\nch> ")});
  const auto began = Clock::now();
  const auto reply = send_cmd(port, "version\r", 30);
  const auto took = Clock::now() - began;
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, "version\r\ntinySA_v1.4\r\n");
  EXPECT_EQ(port.writes, std::vector<std::string>{"version\r"});
  EXPECT_GE(took, std::chrono::milliseconds(230));  // the wait, then the fixed 200 ms
  EXPECT_EQ(port.timeouts, std::vector<std::chrono::milliseconds>{kReadTimeout});
}

TEST(SendCmd, ReadsOfAMeasuringCommandWaitTheirAllowance) {
  ScriptedPort port({bytes_of("scan 1 2 3\r\n"), bytes_of("1 -90\r\nch> ")});
  const std::chrono::milliseconds allowance(12'345);
  EXPECT_EQ(send_cmd(port, "scan 1 2 3\r", 0, allowance).value(), "scan 1 2 3\r\n1 -90\r\n");
  EXPECT_EQ(port.timeouts, (std::vector<std::chrono::milliseconds>{allowance, allowance}));
}

TEST(SendCmd, ReplacesInvalidUtf8AndAcceptsAnEmptyReply) {
  ScriptedPort garbled(
      {bytes_of("a\xFF"
                "b\r\nch> ")});
  EXPECT_EQ(send_cmd(garbled, "info\r", 0).value(), "a\uFFFDb\r\n");
  ScriptedPort silent;
  EXPECT_EQ(send_cmd(silent, "info\r", 0).value(), "");
}

TEST(SendCmd, FailedWriteIsSendErrorWithoutWaitOrRead) {
  ScriptedPort port({bytes_of("never read ch>")});
  port.write_error = IoError::from_errno(EIO);
  const auto began = Clock::now();
  const auto reply = send_cmd(port, "version\r", 1000);
  const auto took = Clock::now() - began;
  ASSERT_FALSE(reply.has_value());
  EXPECT_EQ(reply.error().kind(), SparvikError::Kind::SendError);
  EXPECT_EQ(testing::os_code_of(reply.error()), EIO);
  EXPECT_EQ(port.reads(), 0u);
  EXPECT_LT(took, std::chrono::milliseconds(500));
}

TEST(WaitSync, SleepsAtLeastTheGivenTime) {
  for (std::uint64_t ms : {0u, 1u, 50u}) {
    const auto began = Clock::now();
    wait_sync(ms);
    EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(ms));
  }
}

TEST(PromptSearcher, FindsTheLeftmostPromptInTheRange) {
  const struct {
    std::string bytes;
    std::optional<std::size_t> at;
  } cases[] = {
      {"", std::nullopt},
      {"ch", std::nullopt},
      {"ch>", 0},
      {"xch>ch>", 1},
      {"cch>", 1},
      {"c h>", std::nullopt},
      {"CH>", std::nullopt},
      {std::string("\0\xFF"
                   "ch>",
                   5),
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const auto bytes = bytes_of(c.bytes);
    EXPECT_EQ(EOF_SEARCHER().find(bytes), c.at);
  }
}

TEST(PromptSearcher, IsOneInstanceForAllThreads) {
  const PromptSearcher* seen[2] = {};
  std::thread a([&] { seen[0] = &EOF_SEARCHER(); });
  std::thread b([&] { seen[1] = &EOF_SEARCHER(); });
  a.join();
  b.join();
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[0], &EOF_SEARCHER());
}

TEST(Utf8Lossy, ReplacesEachMaximalInvalidSubpart) {
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"plain\r\n", "plain\r\n"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},  // é € 😀
      {"a\xFF"
       "b",
       "a\uFFFDb"},
      {"\xE2\x82", "\uFFFD"},  // truncated at the end
      {"\xF0\x9F\x98"
       "A",
       "\uFFFDA"},                                       // truncated before ASCII
      {"\xC0\x80", "\uFFFD\uFFFD"},                      // overlong lead, stray continuation
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},            // surrogate
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE0\x80", "\uFFFD\uFFFD"},                      // overlong three-byte form
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(utf8_lossy(bytes_of(c.bytes)), c.text);
  }
}

}  // namespace
}  // namespace sparvik::scan
