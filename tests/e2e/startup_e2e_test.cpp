// Start-up and its failures, seen from outside: the restored or default settings, the port list
// the machine reports, and the ways the program ends before its screens.
#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_checks.hpp"
#include "e2e/program_run.hpp"

namespace sparvik::e2e {
namespace {

struct SettingsCase {
  const char* name;
  std::optional<std::string> file;  // none: no "config.toml" at all
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
  *os << c.name;
}

class UnusableSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(UnusableSettings, GiveTheDefaultsSilently) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  const auto& file = GetParam().file;
  if (file) run.write_file("config.toml", *file);
  run.start({.ports = {"/dev/ttyS0"}});

  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();
  EXPECT_EQ(counter_values(run.pane().screen()),
            (std::vector<std::string>{"240", "960", "10001", "1"}));

  run.keys({"q"});
  ASSERT_EQ(run.wait_for_exit(), 0) << run.pane().screen();
  expect_terminal_restored(run);
  EXPECT_EQ(run.program_stderr(), "");
  // Nothing about the settings file goes to the log, and the file is left as it was.
  EXPECT_EQ(run.log_text(), "INFO [sparvik] Logging started\n");
  EXPECT_EQ(run.read_file("config.toml"), file);
}

INSTANTIATE_TEST_SUITE_P(
    StartUp, UnusableSettings,
    ::testing::Values(SettingsCase{"Missing", std::nullopt},
                      SettingsCase{"NotToml", "port = \"/dev/ttyS0\nbaudrate = [\n"},
                      SettingsCase{
                          "KeyMissing",
                          "port = \"/dev/ttyS0\"\nbaudrate = 115200\nstart_frequency = 300\n"
                          "stop_frequency = 340\npoints = 21\n"},
                      SettingsCase{"WrongType",
                                   "port = \"/dev/ttyS0\"\nbaudrate = 115200\n"
                                   "start_frequency = \"300\"\nstop_frequency = 340\n"
                                   "points = 21\nrepeat = 1\n"}),
    [](const ::testing::TestParamInfo<SettingsCase>& param_info) {
      return std::string(param_info.param.name);
    });

TEST(StartUp, WithoutAnyPortStartingTheSweepShowsTheError) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  run.start({.ports = {}});

  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  EXPECT_FALSE(contains(run.pane().screen(), "/dev/")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("No connection port was selected")) << run.pane().screen();
  EXPECT_TRUE(contains(run.pane().screen(), "Last status: Uninitialised"));

  run.keys({"Enter"});
  ASSERT_EQ(run.wait_for_exit(), 0) << run.pane().screen();
  expect_terminal_restored(run);
  EXPECT_EQ(run.read_file("config.toml"), std::nullopt);
}

TEST(StartUp, PortsAreListedInTheOrderTheSystemReportsThem) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  run.start({.ports = {"/dev/ttyUSB3", "/dev/ttyS0", "/dev/ttyACM9"}});

  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  const std::string screen = run.pane().screen();
  const auto usb = screen.find("/dev/ttyUSB3");
  const auto uart = screen.find("/dev/ttyS0");
  const auto acm = screen.find("/dev/ttyACM9");
  ASSERT_NE(acm, std::string::npos) << screen;
  EXPECT_LT(usb, uart) << screen;
  EXPECT_LT(uart, acm) << screen;
  run.keys({"Escape"});
  ASSERT_EQ(run.wait_for_exit(), 0) << run.pane().screen();
  expect_terminal_restored(run);
}

// The error line must appear on the normal screen: printed before the terminal was restored it
// would vanish with the alternate screen.
TEST(StartUp, PortEnumerationFailureRestoresTheTerminalThenReports) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  run.start({.ports = {"/dev/ttyS0"},
             .setup = {"mount -t tmpfs tmpfs /sys/class"},
             .stderr_on_screen = true});

  ASSERT_EQ(run.wait_for_exit(), 1) << run.pane().screen();
  EXPECT_TRUE(contains(run.final_screen(), "Error: PortConnection(")) << run.final_screen();
  expect_terminal_restored(run);
  EXPECT_EQ(run.log_text(), "INFO [sparvik] Logging started\n");
}

// A working directory where no log file can be created, even by root: a read-only mount.
Launch in_a_read_only_directory(const ProgramRun& run) {
  const std::string read_only = (run.dir() / "read-only").string();
  return {.ports = {"/dev/ttyS0"},
          .setup = {"mkdir -p " + shell_quote(read_only),
                    "mount -t tmpfs -o ro tmpfs " + shell_quote(read_only)},
          .working_subdir = "read-only",
          .stderr_on_screen = true};
}

TEST(StartUp, ALogFileThatCannotBeCreatedEndsTheProgramFirst) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  run.start(in_a_read_only_directory(run));

  ASSERT_EQ(run.wait_for_exit(), 1) << run.pane().screen();
  EXPECT_TRUE(contains(run.final_screen(), "Error: LoggerError(")) << run.final_screen();
  expect_terminal_restored(run);
  EXPECT_TRUE(run.files_like("sparvik_", ".log").empty());
}

// The error line written into a pipe nobody reads fails with EPIPE and is dropped; the status
// stays 1 instead of becoming 141 by SIGPIPE. The pipe is a FIFO opened for reading and writing,
// then for writing alone, and the first descriptor closed: the program gets a write end whose
// reader is gone before it starts.
TEST(StartUp, AnErrorLineNobodyReadsLeavesTheStatusAtOne) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  const std::string fifo = shell_quote((run.dir() / "stderr.fifo").string());
  Launch launch = in_a_read_only_directory(run);
  for (const std::string& command :
       {"mkfifo " + fifo, "exec 3<>" + fifo, "exec 4>" + fifo, std::string("exec 3<&-")}) {
    launch.setup.push_back(command);
  }
  launch.redirections = "2>&4 4>&-";
  run.start(launch);

  ASSERT_EQ(run.wait_for_exit(), 1) << run.pane().screen();
  EXPECT_FALSE(contains(run.final_screen(), "Error: ")) << run.final_screen();
  expect_terminal_restored(run);
}

// Not being on a terminal is fatal: a crash report and an abnormal end.
TEST(StartUp, WithoutATerminalTheProgramEndsWithACrashReport) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  run.start(
      {.ports = {"/dev/ttyS0"},
       .redirections = std::string(">").append(shell_quote((run.dir() / "stdout.txt").string()))});

  ASSERT_EQ(run.wait_for_exit(), 128 + SIGABRT) << run.pane().screen();
  const std::string report = run.program_stderr();
  EXPECT_TRUE(contains(report, "Message:  failed to initialize terminal: ")) << report;
  EXPECT_TRUE(contains(report, "Backtrace:")) << report;
  EXPECT_EQ(run.read_file("stdout.txt"), "");
  expect_terminal_restored(run);
}

}  // namespace
}  // namespace sparvik::e2e
