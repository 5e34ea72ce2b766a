// Stop requests from outside the program: hang-up, interrupt, quit and terminate. The handler only
// notes the signal; the main thread asks for it, ends as on the quit key and then dies by it.
#pragma once

#include <expected>
#include <optional>
#include <string_view>

#include "platform/report.hpp"

namespace sparvik::signals {

struct StopSignal {
  int number;
  std::string_view name;  // "SIGTERM"
};

// Installs the noting handler of SIGHUP, SIGINT, SIGQUIT and SIGTERM for the whole process.
// Called before curses starts, which then leaves these signals alone.
std::expected<void, Report> note_stop_signals();

// The first stop signal received since the handlers were installed; none while no stop was asked
// for. Lock-free, from any thread.
std::optional<StopSignal> stop_signal() noexcept;
bool stop_requested() noexcept;

}  // namespace sparvik::signals
