// Whole writes and reads: the write loop against scripted write(2) results, and both against real
// descriptors.
#include "platform/io/descriptor_io.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/io/unique_fd.hpp"
#include "support/temp_dir.hpp"

namespace sparvik::io {
namespace {

using test_support::read_file;
using test_support::TempDir;

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
    const auto result = write_all_with(std::ref(writer), text);
    EXPECT_TRUE(result);
    EXPECT_EQ(writer.written, text);
  }
}

TEST(WriteAll, FailsOnZeroBytesAndOnOtherErrors) {
  ScriptedWriter zero{{{4}, {0}}};
  const auto stalled = write_all_with(std::ref(zero), "abcdefgh");
  ASSERT_FALSE(stalled);
  EXPECT_EQ(stalled.error().debug(),
            R"(Custom { kind: WriteZero, error: "failed to write whole buffer" })");
  EXPECT_EQ(zero.calls, 2u);

  ScriptedWriter broken{{{2}, {-1, EIO}}};
  const auto failed = write_all_with(std::ref(broken), "abcdefgh");
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().code, EIO);
  EXPECT_EQ(broken.written, "ab");
}

TEST(WriteAll, EmptyTextMakesNoCall) {
  ScriptedWriter writer{{{0}}};
  EXPECT_TRUE(write_all_with(std::ref(writer), ""));
  EXPECT_EQ(writer.calls, 0u);
}

TEST(DescriptorIo, WhatIsWrittenIsReadBackWhole) {
  const TempDir dir("sparvik-io");
  const std::string path = (dir.path() / "data").string();
  std::string text;
  for (int i = 0; text.size() < 100000; ++i) text += std::to_string(i) + ',';

  UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  ASSERT_TRUE(out.valid());
  ASSERT_TRUE(write_all(out.get(), text));
  ASSERT_TRUE(out.close());
  EXPECT_EQ(read_file(path), text);

  UniqueFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  const auto read = read_all(in.get(), text.size() + 1);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, text);

  // A limit inside the file stops the read there, across the reader's own block size.
  UniqueFd again(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  const auto head = read_all(again.get(), 10000);
  ASSERT_TRUE(head);
  EXPECT_EQ(*head, text.substr(0, 10000));
}

TEST(DescriptorIo, FailuresCarryTheErrno) {
  UniqueFd full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
  ASSERT_TRUE(full.valid());
  const auto written = write_all(full.get(), "x");
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().code, ENOSPC);
  const auto some = write_some(full.get(), "x");
  ASSERT_FALSE(some);
  EXPECT_EQ(some.error().code, ENOSPC);

  const auto read = read_all(full.get(), 1);  // open for writing only
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error().code, EBADF);
}

TEST(DescriptorIo, ReadSomeTellsEndOfFileAndWouldBlock) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
  UniqueFd reader(ends[0]);
  UniqueFd writer(ends[1]);
  char buffer[16];

  const auto empty = read_some(reader.get(), buffer);
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.error().code, EAGAIN);

  ASSERT_TRUE(write_all(writer.get(), "abc"));
  const auto got = read_some(reader.get(), buffer);
  ASSERT_TRUE(got);
  EXPECT_EQ(std::string(buffer, *got), "abc");

  ASSERT_TRUE(writer.close());
  const auto end = read_some(reader.get(), buffer);
  ASSERT_TRUE(end);
  EXPECT_EQ(*end, 0u);
}

}  // namespace
}  // namespace sparvik::io
