// The buffered writer: whole blocks reach the file when full, the rest on flush or close, and
// failures come back as values.
#include "platform/io/buffered_writer.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include "support/temp_dir.hpp"

namespace sparvik::io {
namespace {

using test_support::read_file;
using test_support::TempDir;

UniqueFd create(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
}

TEST(BufferedWriter, FileSeesWholeBlocksUntilFlushed) {
  const TempDir dir("sparvik-io");
  const std::string path = (dir.path() / "out").string();
  std::optional<BufferedWriter> writer(std::in_place, create(path), 8);

  ASSERT_TRUE(writer->write("abc"));
  EXPECT_EQ(read_file(path), "");
  ASSERT_TRUE(writer->write("defgh"));  // exactly full
  EXPECT_EQ(read_file(path), "abcdefgh");
  ASSERT_TRUE(writer->write("ijklmnopqrstuvwxyz0"));  // two more blocks and three bytes
  EXPECT_EQ(read_file(path), "abcdefghijklmnopqrstuvwx");
  EXPECT_EQ(writer->buffered(), 3u);

  ASSERT_TRUE(writer->flush());
  EXPECT_EQ(read_file(path), "abcdefghijklmnopqrstuvwxyz0");
  ASSERT_TRUE(writer->write("tail"));
  writer.reset();  // the destructor writes out the rest
  EXPECT_EQ(read_file(path), "abcdefghijklmnopqrstuvwxyz0tail");
}

TEST(BufferedWriter, CloseWritesOutOnceAndLaterCallsDoNothing) {
  const TempDir dir("sparvik-io");
  const std::string path = (dir.path() / "out").string();
  BufferedWriter writer(create(path), 8192);
  ASSERT_TRUE(writer.write("frequency,level\n"));
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(read_file(path), "frequency,level\n");
  EXPECT_TRUE(writer.close());
  EXPECT_TRUE(writer.flush());
}

TEST(BufferedWriter, WriteFailuresAreValuesWhenTheBlockGoesOut) {
  BufferedWriter writer(UniqueFd(::open("/dev/full", O_WRONLY | O_CLOEXEC)), 4);
  EXPECT_TRUE(writer.write("abc"));  // still in the block
  const auto full = writer.write("de");
  ASSERT_FALSE(full);
  EXPECT_EQ(full.error().code, ENOSPC);

  // The failed block is dropped; what came after it fails in its turn.
  EXPECT_EQ(writer.buffered(), 0u);
  EXPECT_TRUE(writer.write("e"));
  const auto closed = writer.close();
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().code, ENOSPC);
}

}  // namespace
}  // namespace sparvik::io
