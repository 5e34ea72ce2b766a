// Signals from outside that ask the program to stop (the terminal hanging up, kill, Ctrl+C sent
// from elsewhere): the program ends as q ends it, with the terminal restored and the log written
// out, and then dies by the signal, so that its shell sees 128 + the signal's number.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "e2e/e2e_checks.hpp"
#include "e2e/program_run.hpp"
#include "e2e/simulator_process.hpp"

namespace sparvik::e2e {
namespace {

using namespace std::chrono_literals;

struct Signal {
  int number;
  const char* name;
};
constexpr Signal stop_signals[] = {
    {SIGHUP, "SIGHUP"}, {SIGINT, "SIGINT"}, {SIGQUIT, "SIGQUIT"}, {SIGTERM, "SIGTERM"}};

enum class Moment { OnTheConnectionScreen, WhileTheSweepRuns };

void PrintTo(const Signal& signal, std::ostream* os) {
  *os << signal.name;
}
void PrintTo(Moment moment, std::ostream* os) {
  *os << (moment == Moment::OnTheConnectionScreen ? "on the connection screen"
                                                  : "while the sweep runs");
}

class StopSignal : public ::testing::TestWithParam<std::tuple<Signal, Moment>> {};

// Sent within the first second, before the log's periodic flush has written anything.
TEST_P(StopSignal, EndsAsQuitDoesThenDiesByTheSignal) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  const auto [signal, moment] = GetParam();
  ProgramRun run;
  // At repeat 1000 the analyser measures for minutes: a sweep started stays running.
  run.write_file("config.toml", settings_text("/dev/ttyS0", 115200, 240, 960, 11, 1000));
  SimulatorProcess analyser({"--banner"}, run.dir() / "received.bin");
  run.start({.ports = {"/dev/ttyS0"}, .analyser_pty = analyser.pty()});

  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();
  std::vector<std::string> records = {"INFO [sparvik] Logging started\n"};
  if (moment == Moment::WhileTheSweepRuns) {
    run.keys({"Enter"});
    ASSERT_TRUE(run.wait_for_text("Start Frequency")) << run.pane().screen();
    run.keys({"Enter"});
    ASSERT_TRUE(run.wait_for_text("Progress:")) << run.pane().screen();
    records.push_back("INFO [sparvik::ui] First pass of the draw process ConnectionInfo {");
  }
  run.send_signal(signal.number);

  // A running worker is not waited for, as on q.
  ASSERT_EQ(run.wait_for_exit(3s), 128 + signal.number) << run.pane().screen();
  expect_terminal_restored(run);
  EXPECT_EQ(run.program_stderr(), "");
  EXPECT_TRUE(run.files_like("scan_", ".csv").empty());

  const std::string log = run.log_text();
  EXPECT_TRUE(log.starts_with(records.front())) << log;
  records.push_back(std::string("INFO [sparvik] Stopped by ") + signal.name + "\n");
  for (const std::string& record : records) {
    EXPECT_TRUE(contains(log, record)) << record << "\n" << log;
  }
}

std::string case_name(const ::testing::TestParamInfo<StopSignal::ParamType>& param_info) {
  const Signal signal = std::get<0>(param_info.param);
  const bool on_setup = std::get<1>(param_info.param) == Moment::OnTheConnectionScreen;
  return std::string(signal.name) + (on_setup ? "_OnTheConnectionScreen" : "_WhileTheSweepRuns");
}

INSTANTIATE_TEST_SUITE_P(SignalRun, StopSignal,
                         ::testing::Combine(::testing::ValuesIn(stop_signals),
                                            ::testing::Values(Moment::OnTheConnectionScreen,
                                                              Moment::WhileTheSweepRuns)),
                         case_name);

}  // namespace
}  // namespace sparvik::e2e
