#include "platform/signals/die_by_signal.hpp"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace sparvik::signals {

void die_by_signal(int signal) noexcept {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  if (signal == SIGABRT) std::abort();
  ::raise(signal);
  ::_exit(128 + signal);  // only if the signal's default action does not end the process
}

}  // namespace sparvik::signals
