// Naming and creating the per-run log file.
#include "platform/log/log_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <fstream>

#include "platform/log/log.hpp"
#include "support/temp_dir.hpp"

namespace sparvik::log {
namespace {

using test_support::read_file;
using test_support::TempDir;

TEST(LogFileName, StemOfProgramThenLocalStartTime) {
  std::tm time{};
  time.tm_year = 2024 - 1900;
  time.tm_mon = 2;
  time.tm_mday = 5;
  time.tm_hour = 7;
  time.tm_min = 8;
  time.tm_sec = 9;
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"sparvik", "sparvik_2024-03-05_07-08-09"},
      {"./sparvik", "sparvik_2024-03-05_07-08-09"},
      {"/usr/local/bin/sparvik", "sparvik_2024-03-05_07-08-09"},
      {"build/sparvik.exe", "sparvik_2024-03-05_07-08-09"},
      {"tools/sparvik.v2.bin", "sparvik.v2_2024-03-05_07-08-09"},
      {"", "sparvik_2024-03-05_07-08-09"},
      {"dir/", "sparvik_2024-03-05_07-08-09"},
  };
  for (const auto& [program, expected] : cases) {
    EXPECT_EQ(detail::log_file_stem(program, time), expected) << '"' << program << '"';
  }
}

TEST(LogFileCreation, TakenNamesGetTheNextFreeSuffixAndStayUntouched) {
  const TempDir dir("sparvik-log");
  const std::string base = (dir.path() / "sparvik_2024-03-05_07-08-09").string();
  std::ofstream(base + ".log") << "earlier run\n";

  std::vector<std::string> created;
  for (int run = 0; run < 2; ++run) {
    auto file = detail::create_unique_log_file(base);
    ASSERT_TRUE(file.has_value()) << file.error().display();
    ::close(file->fd);
    created.push_back(file->path);
  }
  EXPECT_EQ(created, (std::vector<std::string>{base + "_1.log", base + "_2.log"}));
  EXPECT_EQ(read_file(base + ".log"), "earlier run\n");
}

TEST(LogFileCreation, MissingDirectoryIsAnError) {
  const TempDir dir("sparvik-log");
  const auto file = detail::create_unique_log_file((dir.path() / "gone" / "x").string());
  ASSERT_FALSE(file.has_value());
  EXPECT_EQ(file.error().kind, IoErrorKind::NotFound);
}

}  // namespace
}  // namespace sparvik::log
