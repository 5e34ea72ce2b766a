// The keys of the two setup screens, typed into the real program.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "e2e/e2e_checks.hpp"
#include "e2e/program_run.hpp"

namespace sparvik::e2e {
namespace {

using namespace std::chrono_literals;

TEST(SetupKeys, ParametersScreenMovesTheFocusAndStepsTheCounters) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  run.start({.ports = {"/dev/ttyS0"}});
  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();

  struct Step {
    std::vector<std::string> keys;
    std::vector<std::string> values;  // start, stop, points, repeat afterwards
  };
  const Step steps[] = {
      // Focus on the start frequency: up twice by 10, down once.
      {{"k", "Up", "j"}, {"250", "960", "10001", "1"}},
      // Stop down; points up; repeat up, and Right on the last box keeps it there.
      {{"l", "j", "Right", "Up", "l", "k", "Right", "k"}, {"250", "950", "10101", "3"}},
      // Back to points and down; Left past the first box stays on it; the stop stays at its
      // maximum when stepped up.
      {{"h", "j", "Left", "k", "Left", "Left", "Down"}, {"240", "960", "10001", "3"}},
  };
  for (const Step& step : steps) {
    std::string typed;
    for (const auto& k : step.keys) typed += k + " ";
    SCOPED_TRACE(typed);
    run.keys(step.keys);
    EXPECT_TRUE(run.pane().wait_until(
        [&](const std::string& screen) { return counter_values(screen) == step.values; }, 5s))
        << run.pane().screen();
  }

  run.keys({"q"});
  ASSERT_EQ(run.wait_for_exit(), 0) << run.pane().screen();
  expect_terminal_restored(run);
}

// The selections only show as colours, so they are read back from the settings that starting the
// sweep saves; the chosen port does not exist, so the sweep then fails at once.
TEST(SetupKeys, ConnectionScreenChoosesThePortAndTheBaudRate) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  run.start({.ports = {"/dev/ttyS0", "/dev/ttyUSB9", "/dev/ttyACM7"}});
  ASSERT_TRUE(run.wait_for_text("/dev/ttyACM7")) << run.pane().screen();

  // Ports: down past the last row and back up one; rates: from 115200 up, up, down.
  run.keys({"j", "j", "j", "k", "l", "k", "k", "j", "Right", "h", "Up", "Down", "Enter"});
  ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text(
      "An error occured while trying to connect, check the selected port and baudrate"))
      << run.pane().screen();
  EXPECT_EQ(run.read_file("config.toml"), settings_text("/dev/ttyUSB9", 57600, 240, 960, 10001, 1));

  run.keys({"Enter"});
  ASSERT_EQ(run.wait_for_exit(), 0) << run.pane().screen();
  expect_terminal_restored(run);
}

}  // namespace
}  // namespace sparvik::e2e
