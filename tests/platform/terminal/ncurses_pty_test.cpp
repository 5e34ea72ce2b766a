// The curses back end on a real pseudo-terminal: what it writes (alternate screen, UTF-8, nothing
// while idle), how typed bytes become events, and that every way out restores the terminal, also
// when input and output are two terminals.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "platform/crash/crash.hpp"
#include "platform/terminal/ncurses_backend.hpp"
#include "platform/terminal/terminal.hpp"

namespace sparvik::term {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view enter_alternate_screen = "\x1b[?1049h";
constexpr std::string_view leave_alternate_screen = "\x1b[?1049l";

// A child process on a fresh pseudo-terminal (80x24, xterm-256color). The child reports back
// through a pipe, one line per message; the parent types into the terminal and reads its output.
class PtyChild {
 public:
  explicit PtyChild(const std::function<void(int report_fd)>& body) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) std::abort();
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ < 0) std::abort();
    if (pid_ == 0) {
      ::close(pipe_fds[0]);
      ::setenv("TERM", "xterm-256color", 1);
      body(pipe_fds[1]);
      ::_exit(0);
    }
    ::close(pipe_fds[1]);
    report_ = pipe_fds[0];
  }

  ~PtyChild() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
    ::close(report_);
  }

  // Reads output and reports until `done` holds, both streams have ended, or ten seconds pass.
  bool pump_until(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
      if (master_ended_ && report_ended_) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left <= 0ms) return false;
      pollfd fds[2] = {{master_ended_ ? -1 : master_, POLLIN, 0},
                       {report_ended_ ? -1 : report_, POLLIN, 0}};
      const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
      if (ready < 0 && errno != EINTR) return false;
      if (fds[0].revents != 0) master_ended_ = !read_into(master_, output_);
      if (fds[1].revents != 0) report_ended_ = !read_into(report_, reports_);
    }
    return true;
  }

  // The next line the child reported.
  std::string next_report() {
    std::size_t end = std::string::npos;
    pump_until([&] { return (end = reports_.find('\n', consumed_)) != std::string::npos; });
    if (end == std::string::npos) return "<no report; output so far: " + output_ + ">";
    std::string line = reports_.substr(consumed_, end - consumed_);
    consumed_ = end + 1;
    return line;
  }

  bool output_contains(std::string_view text) {
    return pump_until([&] { return output_.find(text) != std::string::npos; });
  }

  void type(std::string_view bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Hangs the terminal up, as closing the terminal window does.
  void hang_up() {
    ::close(master_);
    master_ = -1;
    master_ended_ = true;
  }

  // Collects everything the child writes until it ends, then its wait status.
  int wait() {
    if (!pump_until([] { return false; }) && !(master_ended_ && report_ended_)) {
      ::kill(pid_, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return status;
  }

  const std::string& output() const { return output_; }
  int master() const { return master_; }

 private:
  // False at the end of the stream: EOF, or EIO from a master whose other side is gone.
  static bool read_into(int fd, std::string& into) {
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) into.append(chunk, static_cast<std::size_t>(n));
    return n > 0 || (n < 0 && errno == EINTR);
  }

  pid_t pid_ = -1;
  int master_ = -1;
  int report_ = -1;
  bool reaped_ = false;
  bool master_ended_ = false;
  bool report_ended_ = false;
  std::string output_;
  std::string reports_;
  std::size_t consumed_ = 0;
};

void report(int fd, const std::string& line) {
  const std::string text = line + "\n";
  if (::write(fd, text.data(), text.size()) < 0) ::_exit(3);
}

// Output written straight to the terminal, so the parent can tell frames apart in the stream.
void mark(std::string_view text) {
  if (::write(STDOUT_FILENO, text.data(), text.size()) < 0) ::_exit(3);
}

void draw_sample(Terminal& terminal) {
  auto drawn = terminal.draw([](widgets::Frame& f) {
    f.buffer().set_string(1, 1, "Hello \xe2\x80\xa2 \xe2\x86\xb2",
                          widgets::fg(widgets::Color::Red));
    f.buffer().set_string(0, 22, "white", widgets::fg(widgets::Color::White));
    f.buffer().set_string(
        0, 23, "bottom right edge",
        widgets::fg(widgets::Color::DarkGray).modifier(widgets::Modifier::Italic));
  });
  if (!drawn) ::_exit(4);
}

TEST(NcursesBackendOnPty, DrawsOnceIdlesSilentlyDecodesKeysAndRestores) {
  PtyChild child([](int fd) {
    auto backend = NcursesBackend::create();
    if (!backend) return report(fd, "create failed: " + backend.error().display());
    auto second = NcursesBackend::create();
    report(fd, second ? "second create succeeded" : "second: " + second.error().display());
    auto terminal = Terminal::create(**backend);
    if (!terminal) return report(fd, "terminal failed");
    report(fd, describe(ResizeEvent{terminal->area().width, terminal->area().height}));

    draw_sample(*terminal);
    mark("<idle>");
    for (int pass = 0; pass < 10; ++pass) {
      draw_sample(*terminal);
      auto ready = terminal->poll(16ms);
      if (!ready || *ready) return report(fd, "unexpected input while idle");
    }
    mark("</idle>");
    report(fd, "idle done");

    for (;;) {
      auto ready = terminal->poll(5s);
      if (!ready) return report(fd, "poll failed: " + ready.error().display());
      if (!*ready) continue;
      auto event = terminal->read();
      if (!event) return report(fd, "read failed");
      report(fd, describe(*event));
      if (*event == Event(KeyEvent::character('q'))) break;
    }
    restore();
    restore();  // a second restore is harmless
    report(fd, "restored");
    char line[8];
    (void)::read(STDIN_FILENO, line, sizeof line);  // the parent checks the modes meanwhile
  });

  EXPECT_EQ(child.next_report(), "second: the terminal is in use already");
  EXPECT_EQ(child.next_report(), "Resize(80x24)");
  ASSERT_EQ(child.next_report(), "idle done");
  ASSERT_TRUE(child.output_contains("</idle>"));

  const std::string& out = child.output();
  const std::size_t idle = out.find("<idle>");
  EXPECT_NE(out.find(enter_alternate_screen), std::string::npos);
  EXPECT_LT(out.find(enter_alternate_screen), idle);
  EXPECT_LT(out.find("Hello"), idle);
  EXPECT_LT(out.find("\xe2\x80\xa2"), idle) << "the dot goes out as UTF-8";
  EXPECT_LT(out.find("\xe2\x86\xb2"), idle) << "the arrow goes out as UTF-8";
  EXPECT_LT(out.find("edge"), idle) << "the last row is drawn";
  EXPECT_LT(out.find("\x1b[31m"), idle) << "Red is colour 1";
  EXPECT_LT(out.find("\x1b[97m"), idle) << "White is bright white, colour 15";
  EXPECT_LT(out.find("\x1b[90m"), idle) << "DarkGray is colour 8";
  EXPECT_LT(out.find("\x1b[3m"), idle) << "italic";
  EXPECT_EQ(out.substr(idle, out.find("</idle>") - idle), "<idle>")
      << "nothing may be written while no cell changes";

  termios raw{};
  ASSERT_EQ(::tcgetattr(child.master(), &raw), 0);
  EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG), 0u);

  const struct {
    std::string_view typed;
    const char* event;
  } keys[] = {
      {"\x1bOA", "Up"},
      {"\x1bOD", "Left"},
      {"\x1b[1;5D", "Ctrl+Left"},
      {"j", "Char('j')"},
      {"L", "Shift+Char('L')"},
      {"\r", "Enter"},
      {"\t", "Tab"},
      {"\x7f", "Backspace"},
      {"\x1b", "Esc"},
      {"\x1bx", "Alt+Char('x')"},
      {"\xc3\xa9", "Char('\xc3\xa9')"},
      {"\x03", "Ctrl+Char('c')"},
  };
  for (const auto& key : keys) {
    child.type(key.typed);
    EXPECT_EQ(child.next_report(), key.event) << "typed " << testing::PrintToString(key.typed);
  }

  winsize bigger{};
  bigger.ws_row = 30;
  bigger.ws_col = 100;
  ASSERT_EQ(::ioctl(child.master(), TIOCSWINSZ, &bigger), 0);
  EXPECT_EQ(child.next_report(), "Resize(100x30)");

  child.type("q");
  EXPECT_EQ(child.next_report(), "Char('q')");
  ASSERT_EQ(child.next_report(), "restored");
  EXPECT_TRUE(child.output_contains(leave_alternate_screen));
  termios restored{};
  ASSERT_EQ(::tcgetattr(child.master(), &restored), 0);
  EXPECT_EQ(restored.c_lflag & (ICANON | ECHO | ISIG), static_cast<tcflag_t>(ICANON | ECHO | ISIG));

  child.type("\n");
  const int status = child.wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(NcursesBackendOnPty, FatalErrorRestoresTheTerminalBeforeTheReport) {
  PtyChild child([](int fd) {
    auto backend = NcursesBackend::create();
    if (!backend) return report(fd, "create failed: " + backend.error().display());
    auto terminal = Terminal::create(**backend);
    if (!terminal) return report(fd, "terminal failed");
    draw_sample(*terminal);
    fatal("drawing failed");
  });
  const int status = child.wait();
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;

  const std::string& out = child.output();
  const std::size_t report_at = out.find("The application panicked (crashed).");
  ASSERT_NE(report_at, std::string::npos) << out;
  EXPECT_LT(out.find(enter_alternate_screen), out.find(leave_alternate_screen));
  EXPECT_LT(out.find(leave_alternate_screen), report_at);
  EXPECT_NE(out.find("Message:  drawing failed", report_at), std::string::npos);
  termios modes{};
  ASSERT_EQ(::tcgetattr(child.master(), &modes), 0);
  EXPECT_EQ(modes.c_lflag & (ICANON | ECHO | ISIG), static_cast<tcflag_t>(ICANON | ECHO | ISIG))
      << "the crash path puts the saved modes back";
}

TEST(NcursesBackendOnPty, CrashAfterRestoreLeavesTheScreenOnce) {
  PtyChild child([](int fd) {
    auto backend = NcursesBackend::create();
    if (!backend) return report(fd, "create failed: " + backend.error().display());
    backend->reset();  // releasing the back end restores the terminal
    fatal("after teardown");
  });
  const int status = child.wait();
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
  const std::string& out = child.output();
  EXPECT_EQ(out.find(leave_alternate_screen), out.rfind(leave_alternate_screen)) << out;
  EXPECT_LT(out.find(leave_alternate_screen), out.find("Message:  after teardown"));
}

TEST(NcursesBackendOnPty, HungUpTerminalFailsThePollInsteadOfSpinning) {
  PtyChild child([](int fd) {
    std::signal(SIGHUP, SIG_IGN);
    auto backend = NcursesBackend::create();
    if (!backend) return report(fd, "create failed: " + backend.error().display());
    report(fd, "ready");
    for (int i = 0; i < 1000; ++i) {
      auto ready = (*backend)->poll(1s);
      if (!ready) return report(fd, "poll failed: " + ready.error().display());
    }
    report(fd, "still polling");
  });
  ASSERT_EQ(child.next_report(), "ready");
  child.hang_up();
  EXPECT_EQ(child.next_report(), "poll failed: the terminal closed its input");
}

bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Input from one pseudo-terminal, output to another: curses sets up the output's, and a crash
// must put back both as they were.
TEST(NcursesBackendOnTwoPtys, FatalSignalRestoresTheInputAndTheOutputTerminal) {
  struct Pty {
    int master = -1;
    int slave = -1;
    termios before{};
  };
  Pty input;
  Pty output;
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  for (Pty* pty : {&input, &output}) {
    ASSERT_EQ(::openpty(&pty->master, &pty->slave, nullptr, nullptr, &size), 0);
    ASSERT_EQ(::tcgetattr(pty->slave, &pty->before), 0);
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(input.slave, STDIN_FILENO);
    ::dup2(output.slave, STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);  // the crash report
    ::setenv("TERM", "xterm-256color", 1);
    (void)install_report_hooks();  // fails only when this process has them already
    auto backend = NcursesBackend::create();
    if (!backend) ::_exit(2);
    report(ready[1], "ready");
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  const bool started = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  termios raw{};
  ASSERT_EQ(::tcgetattr(output.slave, &raw), 0);
  EXPECT_TRUE(started && (raw.c_lflag & ICANON) == 0) << "curses set up the output terminal";

  ::kill(pid, SIGSEGV);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
  for (const Pty* pty : {&input, &output}) {
    SCOPED_TRACE(pty == &input ? "input" : "output");
    termios after{};
    ASSERT_EQ(::tcgetattr(pty->slave, &after), 0);
    EXPECT_TRUE(same_modes(after, pty->before))
        << "ICANON " << !!(after.c_lflag & ICANON) << " ECHO " << !!(after.c_lflag & ECHO)
        << " ISIG " << !!(after.c_lflag & ISIG);
    ::close(pty->master);
    ::close(pty->slave);
  }
}

TEST(NcursesBackendOnPty, UnknownTerminalTypeFailsWithoutTouchingTheTerminal) {
  PtyChild child([](int fd) {
    ::setenv("TERM", "no-such-terminal-type", 1);
    auto backend = NcursesBackend::create();
    report(fd, backend ? "created" : backend.error().display());
  });
  EXPECT_EQ(child.next_report(), "the terminal type is unknown to terminfo");
  child.wait();
  EXPECT_EQ(child.output().find(enter_alternate_screen), std::string::npos);
}

TEST(NcursesBackend, CreateFailsWithoutATerminal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        auto backend = NcursesBackend::create();
        if (backend) std::_Exit(1);
        std::fputs(backend.error().debug().c_str(), stderr);
        std::_Exit(backend.error().code == ENOTTY ? 0 : 2);
      },
      testing::ExitedWithCode(0), "Os \\{ code: 25");
}

}  // namespace
}  // namespace sparvik::term
