#include "main/sweep_start.hpp"

#include <system_error>
#include <thread>
#include <utility>

#include "scan/sweep_worker.hpp"
#include "ui_struct/fatal_error.hpp"

namespace sparvik {

void spawn_sweep_worker(ConnectionInfo sweep, ConnectionInfo report) {
  try {
    std::thread(scan::run_sweep, std::move(sweep), std::move(report)).detach();
  } catch (const std::system_error&) {
    fatal_error("failed to spawn thread");
  }
}

}  // namespace sparvik
