// Entry point: the whole program, then the exit step, or the stop signal's own end.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "main/exit_step.hpp"
#include "main/startup.hpp"
#include "platform/signals/die_by_signal.hpp"
#include "platform/signals/ignore_write_signals.hpp"
#include "platform/signals/stop_signals.hpp"

int main(int argc, char** argv) {
  // Before the log or the exit step writes anything. It cannot fail for these two signals; were it
  // to, the program would still run, only ended by such a write as before.
  (void)sparvik::signals::ignore_write_signals();
  const std::string_view program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "sparvik";
  const int status = sparvik::exit_step(sparvik::run_program(program_name));
  // A sweep worker may still be running: it is detached and never waited for. Ending through
  // exit() would destroy static objects it may still use (the prompt searcher, the log slot)
  // under its feet, so the process ends here without running static destructors; logging is
  // shut down and the terminal restored already.
  std::fflush(nullptr);
  // Stopped by a signal, the process ends by it once teardown is done, as its parent expects of
  // that signal; its default action runs no static destructors either.
  if (const auto stop = sparvik::signals::stop_signal()) {
    sparvik::signals::die_by_signal(stop->number);
  }
  std::_Exit(status);
}
