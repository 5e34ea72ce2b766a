// Collecting the "scanraw" reply: where it begins and ends, and the progress stored along the way.
#include "scan/scanraw_reader.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/log/log.hpp"
#include "scan/command_channel.hpp"
#include "scan/scripted_port.hpp"

namespace sparvik::scan {
namespace {

using testing::bytes_of;
using testing::ScriptedPort;

// The command whose reply is collected, and how the analyser echoes it (19 bytes).
constexpr std::string_view kCommand = "scanraw 0 300 100\r";
const std::string kEcho = "scanraw 0 300 100\r\n";
constexpr std::chrono::milliseconds kSilence(4321);

struct Collected {
  std::string reply;
  std::vector<std::uint64_t> progress;  // the cell before every read, then at the end
  std::vector<std::size_t> buffer_sizes;
  std::vector<std::chrono::milliseconds> timeouts;
  std::vector<std::string> logged;  // the reader's own records
};

Collected collect(std::vector<ScriptedPort::Read> script, std::uint64_t expected) {
  log::testing::Capture capture("trace");
  ScriptedPort port(std::move(script));
  const SharedCell<std::uint64_t> progress(22);
  Collected out;
  port.before_read = [&] { out.progress.push_back(progress.get()); };
  const auto reply = read_scanraw(port, {kCommand, expected, kSilence}, progress);
  out.reply.assign(reply.begin(), reply.end());
  out.progress.push_back(progress.get());
  out.buffer_sizes = port.buffer_sizes;
  out.timeouts = port.timeouts;
  for (const auto& record : capture.records_for("sparvik::scan")) {
    EXPECT_EQ(record.level, log::Level::Info);
    out.logged.push_back(record.message);
  }
  return out;
}

TEST(ReadScanraw, StoresProgressFromTwentyTowardsNinetyNineBeforeEachReadIsAdded) {
  // 100 points: 306 bytes expected, arriving as 64-byte reads with the prompt in the fifth.
  const std::string data = kEcho + std::string(300 - kEcho.size(), 'x');
  const Collected got = collect({bytes_of(data + "ch> ")}, 306);
  EXPECT_EQ(got.reply, data);
  // Collected before each read: 0, 64, 128, 192, 256 of 306.
  EXPECT_EQ(got.progress, (std::vector<std::uint64_t>{22, 20, 37, 54, 71, 87}));
  EXPECT_EQ(got.buffer_sizes, (std::vector<std::size_t>(5, 64)));
  // Each read may wait as long as the analyser measures a block.
  EXPECT_EQ(got.timeouts, (std::vector<std::chrono::milliseconds>(5, kSilence)));
  EXPECT_TRUE(got.logged.empty());
}

TEST(ReadScanraw, HoldsAtNinetyNineOnceTheExpectedSizeIsReached) {
  const Collected got = collect({bytes_of(kEcho + "{x\x01\x02"), bytes_of("x\x03\x04}"),
                                 bytes_of(std::string(2, '\0')), bytes_of("ch>")},
                                kEcho.size() + 6);
  // 23 of 25 bytes before the second read, then past them.
  EXPECT_EQ(got.progress, (std::vector<std::uint64_t>{22, 20, 94, 99, 99}));
  EXPECT_EQ(got.reply, kEcho + std::string("{x\x01\x02x\x03\x04}\0\0", 10));
}

TEST(ReadScanraw, EndsOnPromptFailureOrTimeOutKeepingWhatCame) {
  const struct {
    const char* name;
    std::vector<ScriptedPort::Read> script;
    std::string reply;
  } cases[] = {
      {"bytes after the prompt dropped",
       {bytes_of(kEcho + "{x\x01\x02}ch> tail")},
       kEcho + "{x\x01\x02}"},
      {"prompt at the start of a read",
       {bytes_of(kEcho + "{}ab"), bytes_of("ch>")},
       kEcho + "{}ab"},
      {"prompt right after the echo", {bytes_of(kEcho + "ch> ")}, kEcho},
      {"split prompt kept as data", {bytes_of(kEcho + "{}c"), bytes_of("h> ")}, kEcho + "{}ch> "},
      {"I/O error",
       {bytes_of(kEcho + "{x"), IoError::from_errno(EIO), bytes_of("more")},
       kEcho + "{x"},
      {"silence", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(collect(c.script, 9).reply, c.reply);
  }
}

TEST(ReadScanraw, BeginsAtTheEchoOfItsCommandLine) {
  const std::string late = "240000000 -90.0\r\nch> ";  // a late reply of the command before
  const struct {
    const char* name;
    std::vector<ScriptedPort::Read> script;
    std::string reply;
    std::size_t dropped;
  } cases[] = {
      {"late reply and prompt in the same read",
       {bytes_of(late + kEcho + "{}ch> ")},
       kEcho + "{}",
       late.size()},
      {"late reply in reads of its own",
       {bytes_of("240000000 -90.0\r\n"), bytes_of("ch> "), bytes_of(kEcho + "{}ch> ")},
       kEcho + "{}",
       late.size()},
      {"echo split between reads",
       {bytes_of(late + "scan"), bytes_of("raw 0 300 100\r"), bytes_of("\n{}ch> ")},
       kEcho + "{}",
       late.size()},
      {"echo in single bytes",
       [] {
         std::vector<ScriptedPort::Read> bytes;
         for (char c : kEcho + "{}") bytes.push_back(bytes_of(std::string(1, c)));
         bytes.push_back(bytes_of("ch> "));
         return bytes;
       }(),
       kEcho + "{}", 0},
      // A prompt inside what looks like the start of the echo is still not the reply's end.
      {"echo cut short and then whole",
       {bytes_of("scanraw 0 3ch> "), bytes_of(kEcho + "{}ch> ")},
       kEcho + "{}",
       15},
      {"another command's echo", {bytes_of("scanraw 0 300 10\r\n{}ch> ")}, "", 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Collected got = collect(c.script, 9);
    EXPECT_EQ(got.reply, c.reply);
    if (c.dropped == 0) {
      EXPECT_TRUE(got.logged.empty());
    } else {
      EXPECT_EQ(got.logged,
                std::vector<std::string>{fmt::format(
                    "Dropped {} bytes that came before \"scanraw 0 300 100\\r\\n\"", c.dropped)});
    }
  }
}

TEST(ReadScanraw, GivesUpOnTheEchoAfterAsMuchAsACommandReplyHolds) {
  // A device that never echoes: the reply ends empty soon after a command reply's bound.
  const Collected got = collect({bytes_of(std::string(4 * kMaxCommandReply, 'z') + "ch> ")}, 9);
  EXPECT_EQ(got.reply, "");
  EXPECT_EQ(got.buffer_sizes.size(), kMaxCommandReply / 64 + 1);
  ASSERT_EQ(got.logged.size(), 1u);
  EXPECT_TRUE(got.logged[0].starts_with(fmt::format("Dropped {} bytes", kMaxCommandReply + 64)))
      << got.logged[0];
}

TEST(ReadScanraw, StopsCollectingAtTheExpectedSizeAndItsMargin) {
  const std::uint64_t expected = 3 * 101 + 6;
  const std::size_t cap = expected + kScanrawReplyMargin;
  EXPECT_EQ(scanraw_reply_cap(expected), cap);
  const std::string endless = kEcho + "{" + std::string(4 * cap, 'x');
  const Collected got = collect({bytes_of(endless + "ch>")}, expected);
  EXPECT_EQ(got.reply, endless.substr(0, cap));
  EXPECT_EQ(got.buffer_sizes.size(), (cap + 63) / 64);
  EXPECT_EQ(got.progress.back(), 99u);
  // No size overflows the cap's arithmetic.
  EXPECT_EQ(scanraw_reply_cap(std::numeric_limits<std::uint64_t>::max()),
            std::numeric_limits<std::size_t>::max());
}

TEST(ScanrawProgress, StaysWithinBoundsForAnySize) {
  constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
  const struct {
    std::uint64_t collected, expected, progress;
  } cases[] = {
      {0, 6, 20},           {6, 6, 99},       {1000, 6, 99},
      {0, 0, 99},           {0, kMax, 20},    {kMax / 2, kMax, 60},  // no overflow of × 80
      {kMax - 1, kMax, 99}, {3000, 3006, 99}, {1503, 3006, 60},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scanraw_progress(c.collected, c.expected), c.progress)
        << c.collected << " of " << c.expected;
  }
}

}  // namespace
}  // namespace sparvik::scan
