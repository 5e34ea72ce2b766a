// Naming the per-run log file.
#include "platform/log/log_file.hpp"

#include <gtest/gtest.h>

#include <ctime>

namespace sparvik::log {
namespace {

TEST(LogFileName, StemOfProgramThenLocalStartTime) {
  std::tm time{};
  time.tm_year = 2024 - 1900;
  time.tm_mon = 2;
  time.tm_mday = 5;
  time.tm_hour = 7;
  time.tm_min = 8;
  time.tm_sec = 9;
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"sparvik", "sparvik_2024-03-05_07-08-09.log"},
      {"./sparvik", "sparvik_2024-03-05_07-08-09.log"},
      {"/usr/local/bin/sparvik", "sparvik_2024-03-05_07-08-09.log"},
      {"build/sparvik.exe", "sparvik_2024-03-05_07-08-09.log"},
      {"tools/sparvik.v2.bin", "sparvik.v2_2024-03-05_07-08-09.log"},
      {"", "sparvik_2024-03-05_07-08-09.log"},
      {"dir/", "sparvik_2024-03-05_07-08-09.log"},
  };
  for (const auto& [program, expected] : cases) {
    EXPECT_EQ(detail::log_file_name(program, time), expected) << '"' << program << '"';
  }
}

}  // namespace
}  // namespace sparvik::log
