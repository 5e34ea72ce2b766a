// The steps every crash goes through, shared by fatal(), the terminate handler and the signal
// handlers. Everything here is async-signal-safe.
#pragma once

#include <string_view>

namespace sparvik::crash_detail {

enum class Claim { First, Again };
// Makes the calling thread the one that reports. Another thread crashing meanwhile waits here
// until the process ends. The reporting thread crashing again (in a hook, say) gets Again once;
// a third time ends the process at once.
Claim claim_crash() noexcept;

// Runs the crash hooks, newest first.
void run_crash_hooks() noexcept;

// The report on standard error. `file` is null when the place of the crash is not known.
void write_crash_report(std::string_view message, const char* file, unsigned line) noexcept;

// The whole path: claim, hooks, report, death.
[[noreturn]] void crash(std::string_view message, const char* file, unsigned line,
                        int signal) noexcept;

}  // namespace sparvik::crash_detail
