// Ending the process as a signal does, so that its parent sees which signal ended it.
#pragma once

namespace sparvik::signals {

// Ends the process by `signal` with its default action (SIGABRT: std::abort). Runs no static
// destructors and is async-signal-safe.
[[noreturn]] void die_by_signal(int signal) noexcept;

}  // namespace sparvik::signals
