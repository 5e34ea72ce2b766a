// The run loop's failure path, seen from outside: the terminal's input goes away under the
// running program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "e2e/e2e_checks.hpp"
#include "e2e/program_run.hpp"
#include "e2e/tmux_session.hpp"

namespace sparvik::e2e {
namespace {

// A pseudo-terminal whose far end this test holds: the program reads its keys from the slave,
// and closing the master is the terminal going away. The slave is not the program's controlling
// terminal, so the close brings no SIGHUP, only the hang-up its poll reports.
class InputTerminal {
 public:
  InputTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
      throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
    }
    std::array<char, 128> name{};
    if (::ptsname_r(master_, name.data(), name.size()) != 0) {
      throw std::runtime_error(std::string("ptsname_r: ") + std::strerror(errno));
    }
    slave_ = name.data();
  }
  ~InputTerminal() { close(); }
  InputTerminal(const InputTerminal&) = delete;
  InputTerminal& operator=(const InputTerminal&) = delete;

  const std::string& slave() const { return slave_; }
  void close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_;
  std::string slave_;
};

// The terminal closing is a failure of the run loop: exit status 1 and the error on standard
// error, printed once the screen is restored (on the alternate screen it would vanish with it).
TEST(RunLoop, TerminalClosingUnderTheProgramEndsItWithTUIRuntimeError) {
  SKIP_UNLESS_PROGRAM_RUNS_HERE();
  InputTerminal input;
  ProgramRun run;
  run.start({.ports = {"/dev/ttyS0"},
             .stderr_on_screen = true,
             .redirections = std::string("<").append(shell_quote(input.slave()))});
  ASSERT_TRUE(run.wait_for_text("COM Ports")) << run.pane().screen();

  input.close();

  ASSERT_EQ(run.wait_for_exit(), 1) << run.pane().screen();
  EXPECT_TRUE(contains(run.final_screen(), "Error: TUIRuntimeError(")) << run.final_screen();
  EXPECT_FALSE(contains(run.final_screen(), "COM Ports")) << run.final_screen();
  expect_terminal_restored(run);
}

}  // namespace
}  // namespace sparvik::e2e
