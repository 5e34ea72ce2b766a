// Every way the process can crash goes through one path: the hooks (the terminal's restore) run
// first, then exactly one report with the message, the place and a backtrace, then the process
// dies by a signal.
#include "platform/crash/crash.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <latch>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/crash/signal_safe_text.hpp"

namespace sparvik {
namespace {

void restore_marker() noexcept {
  best_effort_signal_safe_write(STDERR_FILENO, "[terminal restored]\n");
}

void install_with_marker() {
  if (!install_report_hooks()) std::_Exit(90);
  if (!push_crash_hook(&restore_marker)) std::_Exit(91);
}

// The texts must appear in this order, each after the end of the one before.
MATCHER_P(AppearsInOrder, texts, "") {
  std::size_t from = 0;
  for (const std::string& text : texts) {
    const std::size_t at = std::string_view(arg).find(text, from);
    if (at == std::string::npos) {
      *result_listener << "missing \"" << text << "\" after offset " << from;
      return false;
    }
    from = at + text.size();
  }
  return true;
}

MATCHER_P2(OccursTimes, text, times, "") {
  std::size_t count = 0;
  for (std::size_t at = arg.find(text); at != std::string::npos; at = arg.find(text, at + 1)) {
    ++count;
  }
  *result_listener << "found " << count << " times";
  return count == static_cast<std::size_t>(times);
}

class CrashTest : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

constexpr unsigned fatal_line = __LINE__ + 3;
[[noreturn]] void fatal_after_marker(const char* message) {
  install_with_marker();
  fatal(message);
}

TEST_F(CrashTest, FatalRestoresFirstThenReportsMessageLocationAndBacktrace) {
  const std::vector<std::string> report = {
      "[terminal restored]\n",
      "The application panicked (crashed).\n",
      "Message:  failed to initialize terminal: no tty\n",
      "Location: ",
      "crash_test.cpp:" + std::to_string(fatal_line) + "\n",
      "\nBacktrace:\n",
  };
  EXPECT_EXIT(fatal_after_marker("failed to initialize terminal: no tty"),
              testing::KilledBySignal(SIGABRT),
              testing::AllOf(AppearsInOrder(report),
                             testing::ContainsRegex("Backtrace:\n.*\\[0x[0-9a-f]+\\]")));
}

TEST_F(CrashTest, FatalWorksWithoutInstalledHooks) {
  EXPECT_EXIT(
      {
        if (!push_crash_hook(&restore_marker)) std::_Exit(91);
        fatal("lock poisoned");
      },
      testing::KilledBySignal(SIGABRT),
      AppearsInOrder(std::vector<std::string>{"[terminal restored]\n", "Message:  lock poisoned"}));
}

void second_marker() noexcept {
  best_effort_signal_safe_write(STDERR_FILENO, "[pushed last]\n");
}

TEST_F(CrashTest, NewestHookRunsFirst) {
  EXPECT_EXIT(
      {
        install_with_marker();
        if (!push_crash_hook(&second_marker)) std::_Exit(91);
        fatal("x");
      },
      testing::KilledBySignal(SIGABRT),
      AppearsInOrder(std::vector<std::string>{"[pushed last]\n", "[terminal restored]\n",
                                              "The application panicked"}));
}

struct CrashCase {
  const char* name;
  void (*crash)();
  int signal;
  const char* message;  // the report's message line, after "Message:  "
};

void on_worker(void (*body)()) {
  std::thread worker(body);
  worker.join();
}

const CrashCase crash_cases[] = {
    {"fatal_on_a_worker_thread", [] { on_worker([] { fatal("arithmetic overflow"); }); }, SIGABRT,
     "arithmetic overflow"},
    {"uncaught_exception_on_a_worker_thread",
     [] { on_worker([] { throw std::runtime_error("kaboom"); }); }, SIGABRT,
     "uncaught exception: kaboom"},
    {"uncaught_exception_of_no_standard_type", [] { on_worker([] { throw 42; }); }, SIGABRT,
     "uncaught exception of type int"},
    {"terminate_without_exception", [] { std::terminate(); }, SIGABRT,
     "std::terminate called without an active exception"},
    {"abort_from_library_code", [] { std::abort(); }, SIGABRT, "received signal SIGABRT (abort)"},
    {"raised_segmentation_fault", [] { std::raise(SIGSEGV); }, SIGSEGV,
     "received signal SIGSEGV (invalid memory reference)"},
    {"raised_arithmetic_exception", [] { std::raise(SIGFPE); }, SIGFPE,
     "received signal SIGFPE (arithmetic exception)"},
};

void PrintTo(const CrashCase& c, std::ostream* os) {
  *os << c.name;
}

class CrashPath : public testing::TestWithParam<CrashCase> {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(CrashPath, RestoresThenReportsAndDies) {
  const CrashCase& c = GetParam();
  EXPECT_EXIT(
      {
        install_with_marker();
        c.crash();
      },
      testing::KilledBySignal(c.signal),
      testing::AllOf(AppearsInOrder(std::vector<std::string>{
                         "[terminal restored]\n", "The application panicked (crashed).\n",
                         std::string("Message:  ") + c.message, "Location: ", "Backtrace:\n"}),
                     OccursTimes(std::string("The application panicked"), 1)));
}

INSTANTIATE_TEST_SUITE_P(Crashes, CrashPath, testing::ValuesIn(crash_cases),
                         [](const auto& test) { return std::string(test.param.name); });

// The child announces the address it is about to touch; the report must name the same one.
MATCHER(NamesTheAnnouncedAddress, "") {
  const std::string announce = "touching ";
  const std::size_t at = arg.find(announce);
  if (at == std::string::npos) return false;
  const std::size_t end = arg.find('\n', at);
  const std::string address = arg.substr(at + announce.size(), end - at - announce.size());
  *result_listener << "announced " << address;
  return arg.find("(invalid memory reference) at address " + address + "\n") != std::string::npos;
}

TEST_F(CrashTest, ReportsTheFaultingAddress) {
  EXPECT_EXIT(
      {
        install_with_marker();
        auto* page = static_cast<volatile char*>(
            ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        std::fprintf(stderr, "touching %p\n", static_cast<void*>(const_cast<char*>(page + 8)));
        std::fflush(stderr);
        page[8] = 1;
        std::_Exit(92);
      },
      testing::KilledBySignal(SIGSEGV), NamesTheAnnouncedAddress());
}

TEST_F(CrashTest, TwoThreadsCrashingAtOncePrintOneReport) {
  EXPECT_EXIT(
      {
        install_with_marker();
        std::latch start(2);
        auto crash = [&start](const char* message) {
          start.arrive_and_wait();
          fatal(message);
        };
        std::thread a(crash, "from thread a");
        std::thread b(crash, "from thread b");
        a.join();
        b.join();
      },
      testing::KilledBySignal(SIGABRT),
      testing::AllOf(OccursTimes(std::string("The application panicked"), 1),
                     OccursTimes(std::string("[terminal restored]"), 1),
                     testing::ContainsRegex("Message:  from thread [ab]\n")));
}

void crashing_hook() noexcept {
  fatal("the hook broke");
}

TEST_F(CrashTest, CrashInsideAHookIsReportedAndEndsTheProcess) {
  EXPECT_EXIT(
      {
        install_with_marker();
        if (!push_crash_hook(&crashing_hook)) std::_Exit(91);
        fatal("first");
      },
      testing::KilledBySignal(SIGABRT),
      AppearsInOrder(std::vector<std::string>{"crashed again while handling a crash\n",
                                              "The application panicked (crashed).\n",
                                              "Message:  the hook broke\n"}));
}

TEST_F(CrashTest, InstallingTwiceFails) {
  EXPECT_EXIT(
      {
        const bool first = install_report_hooks().has_value();
        const auto second = install_report_hooks();
        if (!second) std::fputs(second.error().message().c_str(), stderr);
        std::_Exit(first && !second ? 0 : 1);
      },
      testing::ExitedWithCode(0), "already");
}

}  // namespace
}  // namespace sparvik
