// Timing of the whole program: a sweep against the simulated analyser beside the fixed pauses of
// its dialogue and the analyser's own measuring time, and the idle cost in one run beside its
// floor: CPU time over ten seconds of a bare loop polling the terminal every 16 ms, of the program
// on the connection screen, and of the program on the result screen of a 1,000,001-point sweep
// against the simulated analyser. Each idle case runs in its own tmux pane; the bytes the program
// writes meanwhile are counted too. Needs root and tmux, as the end-to-end tests do.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "e2e/e2e_checks.hpp"
#include "e2e/program_run.hpp"
#include "e2e/simulator_process.hpp"
#include "e2e/tmux_session.hpp"
#include "platform/log/log.hpp"
#include "scan/measurement_time.hpp"
#include "scan/sweep_worker.hpp"
#include "sim/simulated_analyser.hpp"
#include "structs/connection_info.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sparvik::e2e::ProgramRun;
using sparvik::e2e::TmuxSession;

// The pauses the worker makes whatever the analyser does, in ms: 20 + 20 around the read of the
// pending input (which ends at once when the banner is pending), 14 commands of 20 + 200, "scan"
// with 2000 + 200, 20 after "scanraw", 200 before the file name, "resume" with 20 + 200.
constexpr double fixed_waits_ms = 40 + 14 * 220 + 2200 + 20 + 200 + 220;

// What the analyser measures beyond those pauses: the part of "scan" that outlasts its 2000 ms
// wait, and of "scanraw" what outlasts the 20 ms after it.
double measuring_ms(const sparvik::ConnectionInfo& request) {
  using sparvik::scan::Micros;
  const Micros scan =
      sparvik::scan::scan_time({request.start, request.stop, 290, request.repeat}) - 2s;
  const Micros scanraw =
      sparvik::scan::scanraw_time({request.start, request.stop, request.points, request.repeat}) -
      20ms;
  return std::chrono::duration<double, std::milli>(std::max(scan, Micros::zero()) +
                                                   std::max(scanraw, Micros::zero()))
      .count();
}

void BM_SweepAgainstSimulator(benchmark::State& state) {
  sparvik::test_support::TempDir dir("sparvik-bench");
  // Logging as the program does it, into the bench's own directory.
  auto logger = sparvik::log::start_file_logger("info, my::critical::module=trace", "bench",
                                                dir.path().string());
  double total_ms = 0;
  double floor_ms = fixed_waits_ms;
  for (auto _ : state) {
    auto analyser = sparvik::sim::SimulatedAnalyser::start({.banner = true});
    sparvik::ConnectionInfo request;
    request.port = analyser->port_path();
    request.baudrate = 115200;
    request.start = 240'000'000;
    request.stop = 960'000'000;
    request.points = static_cast<std::uint64_t>(state.range(0));
    request.repeat = 1;
    floor_ms = fixed_waits_ms + measuring_ms(request);

    const auto began = std::chrono::steady_clock::now();
    sparvik::scan::run_sweep_writing_to(request.clone(), request.clone(), dir.path().string());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    state.SetIterationTime(took.count());
    total_ms += took.count() * 1000;

    if (request.get_connection_status() != sparvik::ConnectionStatus::ClosedWithSuccess) {
      state.SkipWithError("the sweep failed");
      return;
    }
  }
  const double mean_ms = total_ms / static_cast<double>(state.iterations());
  state.counters["fixed_waits_ms"] = fixed_waits_ms;
  state.counters["measuring_ms"] = floor_ms - fixed_waits_ms;
  state.counters["mean_ms"] = mean_ms;
  state.counters["over_fixed_pct"] = (mean_ms / floor_ms - 1) * 100;
}
BENCHMARK(BM_SweepAgainstSimulator)
    ->Arg(101)
    ->Arg(10001)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

constexpr auto kIdle = 10s;

// CPU time of all threads of a process so far, in seconds (the first field of each thread's
// schedstat, in ns).
double cpu_seconds(int pid) {
  double total = 0;
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream in(task.path() / "schedstat");
    unsigned long long ns = 0;
    if (in >> ns) total += static_cast<double>(ns) / 1e9;
  }
  return total;
}

// The first process under `root` (itself included) whose command name is `name`.
std::optional<int> find_process(int root, const std::string& name) {
  std::ifstream comm("/proc/" + std::to_string(root) + "/comm");
  std::string own;
  if (std::getline(comm, own) && own == name) return root;
  std::error_code error;
  for (const auto& task :
       fs::directory_iterator("/proc/" + std::to_string(root) + "/task", error)) {
    std::ifstream children(task.path() / "children");
    for (int child = 0; children >> child;) {
      if (auto found = find_process(child, name)) return found;
    }
  }
  return std::nullopt;
}

// Measures the process `name` under the pane for kIdle; reports its share of one core and the
// bytes written to the pane meanwhile.
void measure_idle(benchmark::State& state, TmuxSession& pane, const std::string& name,
                  const fs::path& scratch) {
  const auto pid = find_process(std::stoi(pane.pane_format("#{pane_pid}")), name);
  if (!pid) {
    state.SkipWithError("the process was not found");
    return;
  }
  std::this_thread::sleep_for(500ms);  // let the start-up settle
  const std::string written = (scratch / "pane-output").string();
  pane.pipe_output_to(written);
  const double cpu_before = cpu_seconds(*pid);
  const auto began = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(kIdle);
  const double cpu_after = cpu_seconds(*pid);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - began;
  state.SetIterationTime(wall.count());
  std::error_code no_file;
  const auto size = fs::file_size(written, no_file);
  state.counters["cpu_pct_of_one_core"] = 100.0 * (cpu_after - cpu_before) / wall.count();
  state.counters["bytes_to_terminal"] = no_file ? 0.0 : static_cast<double>(size);
}

void BM_IdleBarePollLoop(benchmark::State& state) {
  for (auto _ : state) {
    sparvik::test_support::TempDir dir("sparvik-bench");
    TmuxSession pane("exec " + sparvik::e2e::shell_quote(SPARVIK_POLL_FLOOR_EXE), 100, 30);
    std::this_thread::sleep_for(200ms);
    measure_idle(state, pane, "sparvik_poll_fl", dir.path());  // comm is cut at 15 characters
    pane.send_keys({"q"});
  }
}

void BM_IdleConnectionScreen(benchmark::State& state) {
  for (auto _ : state) {
    ProgramRun run;
    run.start({.ports = {"/dev/ttyS0"}}, 100, 30);
    if (!run.wait_for_text("COM Ports")) {
      state.SkipWithError("the connection screen did not come up");
      return;
    }
    measure_idle(state, run.pane(), "sparvik", run.dir());
    run.keys({"q"});
  }
}

void BM_IdleResultScreen(benchmark::State& state) {
  const auto points = static_cast<std::uint64_t>(state.range(0));
  for (auto _ : state) {
    ProgramRun run;
    run.write_file("config.toml",
                   sparvik::e2e::settings_text("/dev/ttyS0", 115200, 240, 960, points, 1));
    // Measured at once: at the analyser's own pace these points take hours.
    sparvik::e2e::SimulatorProcess analyser({"--banner", "--time-scale", "0"},
                                            run.dir() / "received.bin");
    run.start({.ports = {"/dev/ttyS0"}, .analyser_pty = analyser.pty()}, 100, 30);
    if (!run.wait_for_text("COM Ports")) {
      state.SkipWithError("the connection screen did not come up");
      return;
    }
    run.keys({"Enter"});
    if (!run.wait_for_text("Start Frequency")) {
      state.SkipWithError("the parameters screen did not come up");
      return;
    }
    run.keys({"Enter"});
    if (!run.wait_for_text("finished sucessfuly", 120s)) {
      state.SkipWithError("the sweep did not finish");
      return;
    }
    measure_idle(state, run.pane(), "sparvik", run.dir());
    run.keys({"q"});
  }
}

// In this order, one after the other, so that the three figures come from one run.
BENCHMARK(BM_IdleBarePollLoop)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleConnectionScreen)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleResultScreen)
    ->Arg(1000001)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
