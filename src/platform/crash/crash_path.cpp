#include "platform/crash/crash_path.hpp"

#include <execinfo.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>

#include "platform/crash/crash.hpp"
#include "platform/crash/signal_safe_text.hpp"
#include "platform/signals/die_by_signal.hpp"

namespace sparvik {
namespace crash_detail {
namespace {

constexpr std::size_t max_hooks = 8;
std::array<std::atomic<CrashHook>, max_hooks> hooks{};
std::atomic<std::size_t> hook_count{0};

// Thread id of the thread that reports; 0 while nobody crashed.
std::atomic<pid_t> reporting_thread{0};
std::atomic<int> crashes_while_reporting{0};

pid_t this_thread_id() noexcept {
  return static_cast<pid_t>(::syscall(SYS_gettid));
}

}  // namespace

Claim claim_crash() noexcept {
  const pid_t self = this_thread_id();
  pid_t owner = 0;
  if (reporting_thread.compare_exchange_strong(owner, self)) return Claim::First;
  if (owner == self) {
    if (crashes_while_reporting.fetch_add(1) > 0) signals::die_by_signal(SIGABRT);
    return Claim::Again;
  }
  for (;;) ::pause();  // the reporting thread ends the process
}

void run_crash_hooks() noexcept {
  std::size_t n = hook_count.load();
  if (n > max_hooks) n = max_hooks;
  while (n > 0) {
    if (CrashHook hook = hooks[--n].load()) hook();
  }
}

void write_crash_report(std::string_view message, const char* file, unsigned line) noexcept {
  FixedText<512> location;
  if (file != nullptr) {
    location.append(file).append(":").append_decimal(line);
  } else {
    location.append("<unknown>");
  }
  best_effort_signal_safe_write(STDERR_FILENO, "The application panicked (crashed).\nMessage:  ");
  best_effort_signal_safe_write(STDERR_FILENO, message);
  best_effort_signal_safe_write(STDERR_FILENO, "\nLocation: ");
  best_effort_signal_safe_write(STDERR_FILENO, location.view());
  best_effort_signal_safe_write(STDERR_FILENO, "\n\nBacktrace:\n");
  void* frames[64];
  const int depth = ::backtrace(frames, 64);
  ::backtrace_symbols_fd(frames, depth, STDERR_FILENO);
}

void crash(std::string_view message, const char* file, unsigned line, int signal) noexcept {
  if (claim_crash() == Claim::Again) {
    // The hooks cannot be trusted any more: report this crash as it is and go.
    best_effort_signal_safe_write(STDERR_FILENO, "crashed again while handling a crash\n");
    write_crash_report(message, file, line);
    signals::die_by_signal(signal);
  }
  run_crash_hooks();
  write_crash_report(message, file, line);
  signals::die_by_signal(signal);
}

}  // namespace crash_detail

std::expected<void, Report> push_crash_hook(CrashHook hook) {
  using namespace crash_detail;
  const std::size_t slot = hook_count.fetch_add(1);
  if (slot >= max_hooks) {
    hook_count.fetch_sub(1);
    return std::unexpected(Report("too many crash hooks"));
  }
  hooks[slot].store(hook);
  return {};
}

void fatal(std::string_view message, std::source_location where) noexcept {
  crash_detail::crash(message, where.file_name(), where.line(), SIGABRT);
}

}  // namespace sparvik
