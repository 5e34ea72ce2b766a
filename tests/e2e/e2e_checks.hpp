// What the end-to-end tests share: the skip rule, the check of a restored terminal, and small
// readers of the screens and files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/program_run.hpp"

namespace sparvik::e2e {

#define SKIP_UNLESS_PROGRAM_RUNS_HERE()                                             \
  do {                                                                              \
    if (auto why = ::sparvik::e2e::ProgramRun::unavailable()) GTEST_SKIP() << *why; \
  } while (0)

// After the program: raw mode off, normal screen, cursor shown, and every setting of the
// terminal as before the start.
inline void expect_terminal_restored(ProgramRun& run) {
  const auto before = run.tty_settings_before();
  EXPECT_TRUE(before && !before->empty()) << "the settings before the run are missing";
  EXPECT_EQ(run.tty_settings_after(), before);
  const auto& flags = run.tty_flags();
  for (const char* on : {"icanon", "echo", "isig", "icrnl", "opost"}) {
    EXPECT_TRUE(flags.contains(on)) << on << " is off after the run:\n" << run.final_screen();
  }
  EXPECT_EQ(run.pane().pane_format("#{alternate_on}"), "0");
  EXPECT_EQ(run.pane().pane_format("#{cursor_flag}"), "1");
}

// "config.toml" as the program writes it.
inline std::string settings_text(std::string_view port, std::uint32_t baudrate, std::uint64_t start,
                                 std::uint64_t stop, std::uint64_t points, std::uint64_t repeat) {
  std::ostringstream out;
  out << "port = \"" << port << "\"\nbaudrate = " << baudrate << "\nstart_frequency = " << start
      << "\nstop_frequency = " << stop << "\npoints = " << points << "\nrepeat = " << repeat
      << "\n";
  return out.str();
}

// The four values of the parameters screen, left to right: the row under the box titles, split
// at the box borders.
inline std::vector<std::string> counter_values(const std::string& screen) {
  std::istringstream rows(screen);
  bool next_is_values = false;
  for (std::string row; std::getline(rows, row);) {
    if (next_is_values) {
      std::vector<std::string> values;
      std::istringstream cells(row);
      for (std::string word; cells >> word;) {
        // "│240" "││960" ... : keep the digits.
        std::string digits;
        for (char c : word) {
          if (c >= '0' && c <= '9') digits.push_back(c);
        }
        if (!digits.empty()) values.push_back(digits);
      }
      return values;
    }
    next_is_values = row.find("Start Frequency") != std::string::npos;
  }
  return {};
}

inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace sparvik::e2e
