// The write loop behind the settings file, against scripted write(2) results, and the UTF-8
// check that guards reading it.
#include "structs/write_all.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "structs/utf8.hpp"

namespace sparvik {
namespace {

// One scripted call: take up to `take` bytes, or fail with `err` when `take` is negative.
struct Step {
  long take;
  int err = 0;
};

struct ScriptedWriter {
  explicit ScriptedWriter(std::vector<Step> steps) : script(std::move(steps)) {}

  std::vector<Step> script;
  std::string written;
  std::size_t calls = 0;

  ssize_t operator()(const char* data, std::size_t size) {
    const Step step = calls < script.size() ? script[calls] : Step{static_cast<long>(size)};
    ++calls;
    if (step.take < 0) {
      errno = step.err;
      return -1;
    }
    const auto n = std::min(size, static_cast<std::size_t>(step.take));
    written.append(data, n);
    return static_cast<ssize_t>(n);
  }
};

TEST(WriteAll, ContinuesAfterShortAndInterruptedWrites) {
  const std::string text = "port = \"COM3\"\nbaudrate = 115200\n";
  const std::vector<Step> scripts[] = {
      {},
      {{1}, {2}, {3}},
      {{-1, EINTR}, {5}, {-1, EINTR}, {-1, EINTR}},
  };
  for (const auto& script : scripts) {
    ScriptedWriter writer{script};
    const auto result = write_all(text, std::ref(writer));
    EXPECT_TRUE(result);
    EXPECT_EQ(writer.written, text);
  }
}

TEST(WriteAll, FailsOnZeroBytesAndOnOtherErrors) {
  ScriptedWriter zero{{{4}, {0}}};
  const auto stalled = write_all("abcdefgh", std::ref(zero));
  ASSERT_FALSE(stalled);
  EXPECT_EQ(stalled.error().debug(),
            R"(Custom { kind: WriteZero, error: "failed to write whole buffer" })");
  EXPECT_EQ(zero.calls, 2u);

  ScriptedWriter broken{{{2}, {-1, EIO}}};
  const auto failed = write_all("abcdefgh", std::ref(broken));
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().code, EIO);
  EXPECT_EQ(broken.written, "ab");
}

TEST(WriteAll, EmptyTextMakesNoCall) {
  ScriptedWriter writer{{{0}}};
  EXPECT_TRUE(write_all("", std::ref(writer)));
  EXPECT_EQ(writer.calls, 0u);
}

TEST(Utf8, ValidityAsTextDecodingDemands) {
  const struct {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"port = \"COM3\"", true},
      {"\xc3\xa9", true},           // é
      {"\xe2\x82\xac", true},       // €
      {"\xf0\x9f\x93\xa1", true},   // 4-byte
      {"\xf4\x8f\xbf\xbf", true},   // U+10FFFF
      {"\xed\x9f\xbf", true},       // U+D7FF, just below the surrogates
      {"\x80", false},              // lone continuation
      {"\xc0\xaf", false},          // overlong '/'
      {"\xc1\xbf", false},          // overlong
      {"\xe0\x80\xaf", false},      // overlong 3-byte
      {"\xf0\x80\x80\xaf", false},  // overlong 4-byte
      {"\xed\xa0\x80", false},      // surrogate U+D800
      {"\xf4\x90\x80\x80", false},  // past U+10FFFF
      {"\xf5\x80\x80\x80", false},
      {"\xe2\x82", false},      // truncated
      {"ok\xc3", false},        // truncated at the end
      {"\xe2\x28\xa1", false},  // bad continuation
      {"\xff", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
  }
}

}  // namespace
}  // namespace sparvik
