// Collecting the "scanraw" reply: where it ends and the progress stored along the way.
#include "scan/scanraw_reader.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>

#include "scan/scripted_port.hpp"

namespace sparvik::scan {
namespace {

using testing::bytes_of;
using testing::ScriptedPort;

struct Collected {
  std::string reply;
  std::vector<std::uint64_t> progress;  // the cell before every read, then at the end
  std::vector<std::size_t> buffer_sizes;
};

Collected collect(std::vector<ScriptedPort::Read> script, std::uint64_t expected) {
  ScriptedPort port(std::move(script));
  const SharedCell<std::uint64_t> progress(22);
  Collected out;
  port.before_read = [&] { out.progress.push_back(progress.get()); };
  const auto reply = read_scanraw(port, expected, progress);
  out.reply.assign(reply.begin(), reply.end());
  out.progress.push_back(progress.get());
  out.buffer_sizes = port.buffer_sizes;
  return out;
}

TEST(ReadScanraw, StoresProgressFromTwentyTowardsNinetyNineBeforeEachReadIsAdded) {
  // 100 points: 306 bytes expected, arriving as 64-byte reads with the prompt in the fifth.
  const std::string data(306, 'x');
  const Collected got = collect({bytes_of(data.substr(0, 300) + "ch> ")}, 306);
  EXPECT_EQ(got.reply, data.substr(0, 300));
  // Collected before each read: 0, 64, 128, 192, 256 of 306.
  EXPECT_EQ(got.progress, (std::vector<std::uint64_t>{22, 20, 37, 54, 71, 87}));
  EXPECT_EQ(got.buffer_sizes, (std::vector<std::size_t>(5, 64)));
}

TEST(ReadScanraw, HoldsAtNinetyNineOnceTheExpectedSizeIsReached) {
  const Collected got = collect({bytes_of("{x\x01\x02"), bytes_of("x\x03\x04}"),
                                 bytes_of(std::string(2, '\0')), bytes_of("ch>")},
                                6);
  EXPECT_EQ(got.progress, (std::vector<std::uint64_t>{22, 20, 74, 99, 99}));
  EXPECT_EQ(got.reply, std::string("{x\x01\x02x\x03\x04}\0\0", 10));
}

TEST(ReadScanraw, EndsOnPromptFailureOrTimeOutKeepingWhatCame) {
  const struct {
    const char* name;
    std::vector<ScriptedPort::Read> script;
    std::string reply;
  } cases[] = {
      {"bytes after the prompt dropped", {bytes_of("{x\x01\x02}ch> tail")}, "{x\x01\x02}"},
      {"prompt at the start of a read", {bytes_of("{}ab"), bytes_of("ch>")}, "{}ab"},
      {"split prompt kept as data", {bytes_of("{}c"), bytes_of("h> ")}, "{}ch> "},
      {"I/O error", {bytes_of("{x"), IoError::from_errno(EIO), bytes_of("more")}, "{x"},
      {"silence", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(collect(c.script, 9).reply, c.reply);
  }
}

TEST(ReadScanraw, StopsCollectingAtTheExpectedSizeAndItsMargin) {
  const std::uint64_t expected = 3 * 101 + 6;
  const std::size_t cap = expected + kScanrawReplyMargin;
  EXPECT_EQ(scanraw_reply_cap(expected), cap);
  const std::string endless = "{" + std::string(4 * cap, 'x');
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
