#include "platform/signals/stop_signals.hpp"

#include <array>
#include <atomic>
#include <csignal>

#include "platform/signals/install_handler.hpp"

namespace sparvik::signals {
namespace {

constexpr std::array<StopSignal, 4> stop_signals{{
    {SIGHUP, "SIGHUP"},
    {SIGINT, "SIGINT"},
    {SIGQUIT, "SIGQUIT"},
    {SIGTERM, "SIGTERM"},
}};

// 0 until a stop signal arrives; then the first one's number.
std::atomic<int> noted{0};
static_assert(std::atomic<int>::is_always_lock_free);

void on_stop_signal(int number) {
  int none = 0;
  noted.compare_exchange_strong(none, number, std::memory_order_relaxed);
}

}  // namespace

std::expected<void, Report> note_stop_signals() {
  struct sigaction action {};
  action.sa_handler = &on_stop_signal;
  // Interrupted reads and writes of the worker and the log go on; poll(2) returns early all the
  // same, and the run loop takes that for "no event yet".
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  return install_handlers(stop_signals, action);
}

std::optional<StopSignal> stop_signal() noexcept {
  const int number = noted.load(std::memory_order_relaxed);
  for (const StopSignal& s : stop_signals) {
    if (s.number == number) return s;
  }
  return std::nullopt;
}

bool stop_requested() noexcept {
  return noted.load(std::memory_order_relaxed) != 0;
}

}  // namespace sparvik::signals
