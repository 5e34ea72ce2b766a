// Measurements of the whole program's timing: a sweep against the simulated analyser beside the
// fixed pauses of its dialogue, and what the idle connection screen costs in CPU time and in
// bytes written to the terminal.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#include "e2e/tmux_session.hpp"
#include "platform/log/log.hpp"
#include "scan/sweep_worker.hpp"
#include "sim/simulated_analyser.hpp"
#include "structs/connection_info.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The pauses the worker makes whatever the analyser does, in ms: 20 + 20 around the read of the
// pending input (which ends at once when the banner is pending), 14 commands of 20 + 200, "scan"
// with 2000 + 200, 20 after "scanraw", 200 before the file name, "resume" with 20 + 200.
constexpr double fixed_waits_ms = 40 + 14 * 220 + 2200 + 20 + 200 + 220;

using sparvik::test_support::TempDir;

void BM_SweepAgainstSimulator(benchmark::State& state) {
  TempDir dir("sparvik-bench");
  // Logging as the program does it, into the bench's own directory.
  auto logger = sparvik::log::start_file_logger("info, my::critical::module=trace", "bench",
                                                dir.path().string());
  double total_ms = 0;
  for (auto _ : state) {
    auto analyser = sparvik::sim::SimulatedAnalyser::start({.banner = true});
    sparvik::ConnectionInfo request;
    request.port = analyser->port_path();
    request.baudrate = 115200;
    request.start = 240'000'000;
    request.stop = 960'000'000;
    request.points = static_cast<std::uint64_t>(state.range(0));
    request.repeat = 1;

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
  state.counters["mean_ms"] = mean_ms;
  state.counters["over_fixed_pct"] = (mean_ms / fixed_waits_ms - 1) * 100;
}
BENCHMARK(BM_SweepAgainstSimulator)
    ->Arg(101)
    ->Arg(10001)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// CPU time of all threads of a process so far, in seconds, to the nanosecond (the first field of
// each thread's schedstat).
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

void BM_IdleConnectionScreen(benchmark::State& state) {
  const auto idle = std::chrono::seconds(state.range(0));
  double cpu_pct = 0;
  double bytes = 0;
  for (auto _ : state) {
    TempDir dir("sparvik-bench");
    sparvik::e2e::TmuxSession pane("cd " + sparvik::e2e::shell_quote(dir.path().string()) +
                                       " && exec " + sparvik::e2e::shell_quote(SPARVIK_EXE),
                                   100, 30);
    if (!pane.wait_for_text("COM Ports", 10s)) {
      state.SkipWithError("the connection screen did not come up");
      return;
    }
    const int pid = std::stoi(pane.pane_format("#{pane_pid}"));
    std::this_thread::sleep_for(500ms);  // let the start-up settle
    const std::string written = (dir.path() / "pane-output").string();
    pane.pipe_output_to(written);

    const double cpu_before = cpu_seconds(pid);
    const auto began = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(idle);
    const double cpu_after = cpu_seconds(pid);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - began;
    state.SetIterationTime(wall.count());

    cpu_pct = 100.0 * (cpu_after - cpu_before) / wall.count();
    std::error_code no_file;
    const auto size = fs::file_size(written, no_file);
    bytes = no_file ? 0.0 : static_cast<double>(size);
    pane.send_keys({"q"});
  }
  state.counters["cpu_pct_of_one_core"] = cpu_pct;
  state.counters["bytes_to_terminal"] = bytes;
}
BENCHMARK(BM_IdleConnectionScreen)
    ->Arg(10)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
