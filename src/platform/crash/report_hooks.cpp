// Installs the process-wide handlers that route std::terminate and fatal signals into the crash
// path.
#include <cxxabi.h>
#include <execinfo.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <exception>

#include "platform/crash/crash.hpp"
#include "platform/crash/crash_path.hpp"
#include "platform/crash/signal_safe_text.hpp"
#include "platform/io_error.hpp"
#include "platform/signals/install_handler.hpp"

namespace sparvik {
namespace {

struct FatalSignal {
  int number;
  const char* name;
  const char* meaning;
};
constexpr std::array<FatalSignal, 5> fatal_signals{{
    {SIGSEGV, "SIGSEGV", "invalid memory reference"},
    {SIGBUS, "SIGBUS", "bus error"},
    {SIGFPE, "SIGFPE", "arithmetic exception"},
    {SIGILL, "SIGILL", "illegal instruction"},
    {SIGABRT, "SIGABRT", "abort"},
}};

std::atomic<bool> installed{false};

// Room to run the handler when the main thread's stack overflowed.
alignas(16) char alternate_stack[64 * 1024];

void on_fatal_signal(int number, siginfo_t* info, void* /*context*/) {
  FixedText<160> message;
  message.append("received signal ");
  for (const FatalSignal& s : fatal_signals) {
    if (s.number == number) message.append(s.name).append(" (").append(s.meaning).append(")");
  }
  if ((number == SIGSEGV || number == SIGBUS) && info != nullptr) {
    message.append(" at address ").append_hex(reinterpret_cast<std::uintptr_t>(info->si_addr));
  }
  crash_detail::crash(message.view(), nullptr, 0, number);
}

void on_terminate() noexcept {
  FixedText<1024> message;
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      message.append("uncaught exception: ").append(e.what());
    } catch (...) {
      message.append("uncaught exception of type ");
      const std::type_info* type = abi::__cxa_current_exception_type();
      int status = 0;
      char* name = type ? abi::__cxa_demangle(type->name(), nullptr, nullptr, &status) : nullptr;
      message.append(name ? name : (type ? type->name() : "unknown"));
      std::free(name);
    }
  } else {
    message.append("std::terminate called without an active exception");
  }
  crash_detail::crash(message.view(), nullptr, 0, SIGABRT);
}

}  // namespace

std::expected<void, Report> install_report_hooks() {
  if (installed.exchange(true)) {
    return std::unexpected(Report("the crash report hooks are installed already"));
  }
  // The first backtrace() loads the unwinder, which allocates: do it now, not in a handler.
  void* frame[1];
  ::backtrace(frame, 1);

  stack_t stack{};
  stack.ss_sp = alternate_stack;
  stack.ss_size = sizeof alternate_stack;
  if (::sigaltstack(&stack, nullptr) != 0) {
    return std::unexpected(
        Report("failed to set up the signal stack", {IoError::from_errno().display()}));
  }

  std::set_terminate(&on_terminate);

  struct sigaction action {};
  action.sa_sigaction = &on_fatal_signal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  return signals::install_handlers(fatal_signals, action);
}

}  // namespace sparvik
