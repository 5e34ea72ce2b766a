// The process's fatal-error path: fatal(), std::terminate and fatal signals all restore what the
// crash hooks restore (the terminal first), print one crash report on standard error and abort.
#pragma once

#include <expected>
#include <source_location>
#include <string_view>

#include "platform/report.hpp"

namespace sparvik {

// Runs on a crash before the report is printed, possibly inside a signal handler: it must be
// async-signal-safe and must not fail.
using CrashHook = void (*)() noexcept;

// Installs the std::terminate handler and the handlers of SIGSEGV, SIGBUS, SIGFPE, SIGILL and
// SIGABRT for the whole process. Fails when they are installed already.
std::expected<void, Report> install_report_hooks();

// Puts `hook` in front of the hooks pushed before it: a crash runs the newest hook first.
std::expected<void, Report> push_crash_hook(CrashHook hook);

// A broken invariant: runs the crash hooks, prints the crash report with `message`, where it was
// raised and a backtrace, then aborts. Safe from any thread; when several threads crash at once,
// one report is printed and the others wait for the process to end.
[[noreturn]] void fatal(std::string_view message,
                        std::source_location where = std::source_location::current()) noexcept;

}  // namespace sparvik
