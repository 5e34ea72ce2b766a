// Whole runs of the program against the simulated analyser: a sweep that succeeds, one that fails,
// and quitting while one runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_checks.hpp"
#include "e2e/program_run.hpp"
#include "e2e/simulator_process.hpp"

namespace sparvik::e2e {
namespace {

using namespace std::chrono_literals;

// The sweep screen's dialogue takes about 6 s of fixed pauses.
constexpr auto sweep_time_limit = 30s;

TEST(SweepRun, ASuccessfulSweepShowsEveryScreenAndWritesItsFiles) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  ProgramRun run;
  // Raw levels the simulator cycles through: -90, -89.78125, -128 and 0 dBm.
  const std::vector<std::uint16_t> levels = {1216, 1223, 0, 4096};
  std::string level_text;
  for (auto l : levels) level_text += std::to_string(l) + " ";
  run.write_file("levels.txt", level_text);
  // Restored settings: the low input range, 21 points, repeat 2, 230400 baud.
  run.write_file("config.toml", settings_text("/dev/ttyS0", 230400, 300, 340, 21, 2));
  // The analyser as it is, with nothing pending: its reply ends in "}" and then the prompt.
  SimulatorProcess analyser({"--levels-file", (run.dir() / "levels.txt").string()},
                            run.dir() / "received.bin");
  run.start({.ports = {"/dev/ttyS0"}, .analyser_pty = analyser.pty()});

  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  EXPECT_TRUE(contains(run.pane().screen(), "/dev/ttyS0"));
  EXPECT_TRUE(contains(run.pane().screen(), "Baudrate"));
  EXPECT_TRUE(contains(run.pane().screen(), "Sparvik version 0.1.1"));

  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();
  EXPECT_EQ(counter_values(run.pane().screen()),
            (std::vector<std::string>{"300", "340", "21", "2"}));

  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Progress:")) << run.pane().screen();
  const std::string sweeping = run.pane().screen();
  EXPECT_TRUE(contains(sweeping, "Operation"));
  EXPECT_TRUE(contains(sweeping, "TinySA Info"));
  EXPECT_TRUE(run.wait_for_text("tinySA_v1.4-143-g864bb27")) << run.pane().screen();

  ASSERT_TRUE(run.wait_for_text(
      "The scan of 21 points in the range (300Mhz - 340Mhz) finished sucessfuly", sweep_time_limit))
      << run.pane().screen();
  const std::string result = run.pane().screen();
  for (const char* label : {"300MHz", "320MHz", "340MHz", "0dbm", "-64dbm", "-128dbm"}) {
    EXPECT_TRUE(contains(result, label)) << label << "\n" << result;
  }
  EXPECT_TRUE(contains(result, "•")) << "no point drawn\n" << result;
  EXPECT_TRUE(contains(result, "Scan finished, press ↲ or q to exit")) << result;

  run.keys({"Enter"});
  ASSERT_EQ(run.wait_for_exit(), 0) << run.pane().screen();
  expect_terminal_restored(run);
  EXPECT_EQ(run.program_stderr(), "");

  EXPECT_EQ(run.read_file("config.toml"), settings_text("/dev/ttyS0", 230400, 300, 340, 21, 2));

  const auto csv_files = run.files_like("scan_", ".csv");
  ASSERT_EQ(csv_files.size(), 1u);
  EXPECT_TRUE(std::regex_match(csv_files[0], std::regex(R"(scan_\d{8} \d{2}_\d{2}_\d{2}\.csv)")))
      << csv_files[0];
  // 2 MHz apart from 300 MHz, the four levels in turn.
  const char* level_texts[] = {"-90", "-89.78125", "-128", "0"};
  std::string csv;
  for (int i = 0; i < 21; ++i) {
    csv += std::to_string(300 + 2 * i) + "," + level_texts[i % 4] + "\n";
  }
  EXPECT_EQ(run.read_file(csv_files[0]), csv);

  const std::string received = analyser.received();
  for (const char* command :
       {"repeat 2\r", "mode low input\r", "sweep start 300000000\r", "sweep stop 340000000\r",
        "scan 300000000 340000000 290 101\r", "scanraw 300000000 340000000 21\r", "resume\r"}) {
    EXPECT_TRUE(contains(received, command)) << command;
  }

  const std::string log = run.log_text();
  EXPECT_TRUE(log.starts_with("INFO [sparvik] Logging started\n")) << log.substr(0, 200);
  EXPECT_TRUE(contains(log, "INFO [sparvik::ui] First pass of the draw process ConnectionInfo {"));
  EXPECT_FALSE(contains(log, "ERROR")) << log;
}

struct FailureCase {
  const char* name;
  std::vector<std::string> analyser_options;
  const char* hint;          // the red box
  const char* last_message;  // the worker's last step
  const char* error_debug;   // start of the stored error's debug form
  const char* last_command;  // the last command the analyser got
  const char* never_sent;    // a command that must not follow
  const char* log_line;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class FailedSweep : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedSweep, EndsOnTheErrorScreen) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  const FailureCase& c = GetParam();
  ProgramRun run;
  run.write_file("config.toml", settings_text("/dev/ttyS0", 115200, 240, 960, 11, 1));
  SimulatorProcess analyser(c.analyser_options, run.dir() / "received.bin");
  run.start({.ports = {"/dev/ttyS0"}, .analyser_pty = analyser.pty()});

  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text(c.hint, sweep_time_limit)) << run.pane().screen();
  const std::string error = run.pane().screen();
  EXPECT_TRUE(contains(error, "Last status: ConnectionFailure")) << error;
  EXPECT_TRUE(contains(error, std::string("Last message: ") + c.last_message)) << error;
  EXPECT_TRUE(contains(error, std::string("Error: ") + c.error_debug)) << error;
  EXPECT_TRUE(contains(error, "Press ↲ or q to exit")) << error;

  run.keys({"Enter"});
  ASSERT_EQ(run.wait_for_exit(), 0) << run.pane().screen();
  expect_terminal_restored(run);
  EXPECT_EQ(run.program_stderr(), "");
  const std::string received = analyser.received();
  EXPECT_TRUE(contains(received, c.last_command)) << received;
  EXPECT_FALSE(contains(received, c.never_sent)) << received;
  EXPECT_TRUE(contains(run.log_text(), c.log_line)) << run.log_text();
}

INSTANTIATE_TEST_SUITE_P(
    SweepRun, FailedSweep,
    ::testing::Values(
        // "info" unanswered: the version check fails after the six queries.
        FailureCase{"NoVersion",
                    {"--banner", "--mute-info"},
                    "An error forbid the gathering of the version, check your TinySA is "
                    "connected and powered on",
                    "Acquiring version & info",
                    "ScanError(NoVersionFound)",
                    "threads\r",
                    "repeat",
                    "ERROR [sparvik::ui] An error occured during thread exec: Couldn't acquire "
                    "the version of the device connected to the specified port\n"},
        // A reply without its opening brace fails after the whole dialogue; the analyser is
        // left paused.
        FailureCase{"ReplyWithoutBrace",
                    {"--banner", "--no-brace"},
                    "An error occured while receiving data, the scan never sent back any valid "
                    "data",
                    "Starting scan...",
                    "ScanError(ParseBeggining(",
                    "scanraw 240000000 960000000 11\r",
                    "resume",
                    "ERROR [sparvik::ui] An error occured during thread exec: Couldn't parse the "
                    "beggining of the data ({)\n"},
        // The measurement interrupted on the analyser: "}" after 5 of the 11 records, and no
        // prompt. The reply ends on the read time-out and is no finished sweep.
        FailureCase{"InterruptedOnTheAnalyser",
                    {"--records", "5", "--no-prompt-after-scanraw"},
                    "An error occured while receiving data, scan was interupted before ending "
                    "properly",
                    "Starting scan...",
                    "ScanError(ParseEnd(",
                    "scanraw 240000000 960000000 11\r",
                    "resume",
                    "ERROR [sparvik::ui] An error occured during thread exec: Couldn't parse the "
                    "end of the data (expected 11 points, received 5)\n"}),
    [](const ::testing::TestParamInfo<FailureCase>& param_info) {
      return std::string(param_info.param.name);
    });

// Under a file-size limit a write past it fails as any other write does, instead of ending the
// program by SIGXFSZ with the terminal left raw. 1001 points make a CSV file of about 13 KB; the
// log of such a run is about 2.4 KB.
struct FileSizeLimit {
  const char* name;
  std::size_t bytes;
  bool log_fits;
};

void PrintTo(const FileSizeLimit& c, std::ostream* os) {
  *os << c.name;
}

class UnderAFileSizeLimit : public ::testing::TestWithParam<FileSizeLimit> {};

TEST_P(UnderAFileSizeLimit, TheSweepEndsOnTheErrorScreen) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  const FileSizeLimit& c = GetParam();
  ProgramRun run;
  run.write_file("config.toml", settings_text("/dev/ttyS0", 115200, 240, 960, 1001, 1));
  SimulatorProcess analyser({"--time-scale", "0"}, run.dir() / "received.bin");
  // sh counts the limit in blocks of 512 bytes; it holds for the program that sh becomes.
  run.start({.ports = {"/dev/ttyS0"},
             .analyser_pty = analyser.pty(),
             .setup = {"ulimit -f " + std::to_string(c.bytes / 512)}});

  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(
      run.wait_for_text("An error occured while trying to export the scan", sweep_time_limit))
      << run.pane().screen();
  const std::string error = run.pane().screen();
  EXPECT_TRUE(contains(error, "Last status: ConnectionFailure")) << error;
  EXPECT_TRUE(contains(error, "Error: ScanError(OpenOutput(Os { code: 27,")) << error;

  run.keys({"Enter"});
  ASSERT_EQ(run.wait_for_exit(), 0) << run.pane().screen();
  expect_terminal_restored(run);
  // The write that crosses the limit fills the file up to it; the next one fails.
  const auto csv_files = run.files_like("scan_", ".csv");
  ASSERT_EQ(csv_files.size(), 1u);
  const std::string csv = run.read_file(csv_files[0]).value_or("");
  EXPECT_EQ(csv.size(), c.bytes);
  EXPECT_TRUE(csv.starts_with("240,")) << csv.substr(0, 100);

  const std::string log = run.log_text();
  EXPECT_TRUE(log.starts_with("INFO [sparvik] Logging started\n")) << log.substr(0, 200);
  const std::string stderr_text = run.program_stderr();
  if (c.log_fits) {
    EXPECT_TRUE(contains(log,
                         "ERROR [sparvik::structs] Error: Some(ScanError(OpenOutput(Os { "
                         "code: 27, kind: Other, message: \"File too large\" })))\n"))
        << log;
    EXPECT_EQ(stderr_text, "");
  } else {
    EXPECT_EQ(log.size(), c.bytes);
    EXPECT_TRUE(stderr_text.starts_with("Logging: cannot write log file ")) << stderr_text;
    EXPECT_TRUE(stderr_text.ends_with(": File too large (os error 27); records are being lost\n"))
        << stderr_text;
    EXPECT_EQ(std::count(stderr_text.begin(), stderr_text.end(), '\n'), 1) << stderr_text;
  }
}

INSTANTIATE_TEST_SUITE_P(SweepRun, UnderAFileSizeLimit,
                         ::testing::Values(FileSizeLimit{"CsvPastIt", 4096, true},
                                           FileSizeLimit{"LogPastItToo", 1024, false}),
                         [](const ::testing::TestParamInfo<FileSizeLimit>& param_info) {
                           return std::string(param_info.param.name);
                         });

// How the program is asked to end while a sweep runs: a key, or a stop signal from outside.
struct Quit {
  const char* name;
  const char* key;  // tmux key name, or none for the signal
  int exit_status;
};

void PrintTo(const Quit& quit, std::ostream* os) {
  *os << quit.name;
}

class QuitDuringASweep : public ::testing::TestWithParam<Quit> {};

// At repeat 1000 the analyser measures the "scan" for nearly five minutes; the worker waits for
// it and is not waited for.
TEST_P(QuitDuringASweep, EndsAtOnceWhileTheAnalyserMeasures) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  const Quit& quit = GetParam();
  ProgramRun run;
  run.write_file("config.toml", settings_text("/dev/ttyS0", 115200, 240, 960, 11, 1000));
  SimulatorProcess analyser({"--banner"}, run.dir() / "received.bin");
  run.start({.ports = {"/dev/ttyS0"}, .analyser_pty = analyser.pty()});

  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Progress:")) << run.pane().screen();
  // Enter is ignored while the worker runs.
  run.keys({"Enter"});
  ASSERT_TRUE(run.wait_for_text("Sweeping...", 30s)) << run.pane().screen();
  // Past the wait after "scan": the worker is reading while the analyser measures.
  std::this_thread::sleep_for(3s);
  ASSERT_TRUE(contains(analyser.received(), "scan 240000000 960000000 290 101\r"));
  EXPECT_TRUE(contains(run.pane().screen(), "Sweeping..."));

  const auto asked = std::chrono::steady_clock::now();
  if (quit.key != nullptr) {
    run.keys({quit.key});
  } else {
    run.send_signal(SIGTERM);
  }
  ASSERT_EQ(run.wait_for_exit(3s), quit.exit_status) << run.pane().screen();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 3s);
  expect_terminal_restored(run);
  EXPECT_EQ(run.program_stderr(), "") << "a crash at exit?";
  EXPECT_TRUE(run.files_like("scan_", ".csv").empty());
  EXPECT_FALSE(contains(analyser.received(), "scanraw"));
  EXPECT_TRUE(run.log_text().starts_with("INFO [sparvik] Logging started\n"));
}

INSTANTIATE_TEST_SUITE_P(SweepRun, QuitDuringASweep,
                         ::testing::Values(Quit{"q", "q", 0}, Quit{"Esc", "Escape", 0},
                                           Quit{"SIGTERM", nullptr, 128 + SIGTERM}),
                         [](const ::testing::TestParamInfo<Quit>& param_info) {
                           return std::string(param_info.param.name);
                         });

}  // namespace
}  // namespace sparvik::e2e
