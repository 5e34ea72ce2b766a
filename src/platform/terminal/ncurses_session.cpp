#include "platform/terminal/ncurses_session.hpp"

#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "platform/crash/crash.hpp"
#include "platform/crash/signal_safe_text.hpp"
#include "platform/terminal/ncurses.hpp"
#include "platform/terminal/ncurses_backend.hpp"

namespace sparvik::term {
namespace {

enum SessionState : int { Inactive, Active };
std::atomic<int> state{Inactive};
SCREEN* screen = nullptr;

// Kept for the crash path, which may run in a signal handler and so cannot ask curses. curses
// sets up the terminal of standard output; standard input may be another terminal, so its modes
// are kept too (when both are one terminal, it gets the same modes twice).
struct SavedModes {
  int fd;
  termios modes{};
  bool saved = false;
};
std::array<SavedModes, 2> saved_modes{{{STDOUT_FILENO}, {STDIN_FILENO}}};
FixedText<512> leave_sequence;
bool crash_hook_pushed = false;

void put_back_saved_modes() noexcept {
  for (const SavedModes& s : saved_modes) {
    if (s.saved) ::tcsetattr(s.fd, TCSANOW, &s.modes);
  }
}

void restore_on_crash() noexcept {
  int expected = Active;
  if (!state.compare_exchange_strong(expected, Inactive)) return;
  best_effort_signal_safe_write(STDOUT_FILENO, leave_sequence.view());
  put_back_saved_modes();
}

void append_capability(const char* name) {
  const char* text = ::tigetstr(name);
  if (text != nullptr && text != reinterpret_cast<const char*>(-1)) leave_sequence.append(text);
}

// What endwin() would send: plain attributes, visible cursor, keypad off, normal screen.
void prepare_leave_sequence() {
  leave_sequence = {};
  append_capability("sgr0");
  append_capability("cnorm");
  append_capability("rmkx");
  append_capability("rmcup");
}

// Box drawing and symbols need a UTF-8 character type. Only LC_CTYPE changes: number formatting
// elsewhere in the program must stay in the "C" locale.
void use_utf8_ctype() {
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(::nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

}  // namespace

namespace detail {

std::expected<void, IoError> open_session() {
  if (state.load() != Inactive) {
    return std::unexpected(IoError::custom(IoErrorKind::Other, "the terminal is in use already"));
  }
  if (!crash_hook_pushed) {
    if (auto pushed = push_crash_hook(&restore_on_crash); !pushed) {
      return std::unexpected(IoError::custom(IoErrorKind::Other, pushed.error().message()));
    }
    crash_hook_pushed = true;
  }
  if (!::isatty(STDOUT_FILENO)) return std::unexpected(IoError::from_errno());
  for (SavedModes& s : saved_modes) {
    s.saved = ::tcgetattr(s.fd, &s.modes) == 0;
    if (!s.saved) return std::unexpected(IoError::from_errno());
  }
  use_utf8_ctype();
  screen = ::newterm(nullptr, stdout, stdin);
  if (screen == nullptr) {
    return std::unexpected(
        IoError::custom(IoErrorKind::NotFound, "the terminal type is unknown to terminfo"));
  }
  prepare_leave_sequence();
  state.store(Active);
  return {};
}

}  // namespace detail

void restore() noexcept {
  int expected = Active;
  if (!state.compare_exchange_strong(expected, Inactive)) return;
  if (::endwin() == ERR) {
    std::fputs("Failed to restore terminal: endwin failed\n", stderr);
    best_effort_signal_safe_write(STDOUT_FILENO, leave_sequence.view());
    put_back_saved_modes();
  }
  ::delscreen(screen);
  screen = nullptr;
}

}  // namespace sparvik::term
