// The stop signals in a process of their own each: noted instead of ending the process, also when
// another thread receives them, the first one kept, and the end by that signal afterwards.
#include "platform/signals/stop_signals.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <thread>

#include "platform/signals/die_by_signal.hpp"

namespace sparvik::signals {
namespace {

struct Case {
  int number;
  const char* name;
  int then;  // a second stop signal, which must not replace the first
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class StopSignals : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(StopSignals, AreNotedFirstOneKeptThenEndTheProcessByIt) {
  const Case c = GetParam();
  EXPECT_EXIT(
      {
        if (stop_requested() || stop_signal()) std::_Exit(2);
        if (!note_stop_signals()) std::_Exit(3);
        std::thread worker([&] {
          ::pthread_kill(::pthread_self(), c.number);
          ::pthread_kill(::pthread_self(), c.then);
        });
        worker.join();
        const auto stop = stop_signal();
        if (!stop_requested() || !stop || stop->number != c.number) std::_Exit(4);
        // Unhandled, the first signal would have ended the process before this line as well.
        std::fprintf(stderr, "noted %s\n", std::string(stop->name).c_str());
        die_by_signal(stop->number);
      },
      testing::KilledBySignal(c.number), std::string("noted ") + c.name);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignals,
                         ::testing::Values(Case{SIGHUP, "SIGHUP", SIGTERM},
                                           Case{SIGINT, "SIGINT", SIGHUP},
                                           Case{SIGQUIT, "SIGQUIT", SIGINT},
                                           Case{SIGTERM, "SIGTERM", SIGQUIT}),
                         [](const ::testing::TestParamInfo<Case>& param_info) {
                           return std::string(param_info.param.name);
                         });

}  // namespace
}  // namespace sparvik::signals
