#include "platform/terminal/ncurses_backend.hpp"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cwchar>

#include "platform/terminal/cell_mapping.hpp"
#include "platform/terminal/ncurses.hpp"
#include "platform/terminal/ncurses_session.hpp"

namespace sparvik::term {
namespace {

constexpr int escape_delay_ms = 25;

// Set by SIGWINCH, which curses turns into a resize key on its next read. Starts set so that the
// first poll asks curses.
std::atomic<bool> window_changed{true};
static_assert(std::atomic<bool>::is_always_lock_free);
struct sigaction curses_winch_action {};

// Notes the signal, then hands it to the handler curses installed.
void on_window_change(int signal, siginfo_t* info, void* context) {
  window_changed.store(true, std::memory_order_relaxed);
  if ((curses_winch_action.sa_flags & SA_SIGINFO) != 0) {
    if (curses_winch_action.sa_sigaction != nullptr) {
      curses_winch_action.sa_sigaction(signal, info, context);
    }
  } else if (curses_winch_action.sa_handler != SIG_DFL &&
             curses_winch_action.sa_handler != SIG_IGN) {
    curses_winch_action.sa_handler(signal);
  }
}

// Installed once per process, in front of curses' own handler.
void watch_window_changes() {
  static bool installed = false;
  if (installed) return;
  struct sigaction ours {};
  ours.sa_sigaction = on_window_change;
  ours.sa_flags = SA_SIGINFO;  // no SA_RESTART: a waiting poll returns at once
  sigemptyset(&ours.sa_mask);
  installed = ::sigaction(SIGWINCH, &ours, &curses_winch_action) == 0;
}

IoError curses_failure(const char* what) {
  return IoError::custom(IoErrorKind::Other, std::string(what) + " failed");
}

// Keys with modifiers that the terminal description defines under extended names: "kLFT5" is
// Ctrl+Left, the digit being xterm's modifier code (1 + Shift 1 + Alt 2 + Ctrl 4).
std::vector<ModifiedKey> load_modified_keys() {
  struct Base {
    const char* name;
    KeyCode key;
  };
  constexpr Base bases[] = {
      {"kUP", KeyCode::Up},      {"kDN", KeyCode::Down},   {"kLFT", KeyCode::Left},
      {"kRIT", KeyCode::Right},  {"kHOM", KeyCode::Home},  {"kEND", KeyCode::End},
      {"kDC", KeyCode::Delete},  {"kIC", KeyCode::Insert}, {"kNXT", KeyCode::PageDown},
      {"kPRV", KeyCode::PageUp},
  };
  std::vector<ModifiedKey> keys;
  for (const Base& base : bases) {
    for (int code = 2; code <= 8; ++code) {
      const int bits = code - 1;
      Modifiers mods = Modifiers::None;
      if (bits & 1) mods = mods | Modifiers::Shift;
      if (bits & 2) mods = mods | Modifiers::Alt;
      if (bits & 4) mods = mods | Modifiers::Ctrl;
      const std::string name = base.name + std::to_string(code);
      const char* sequence = ::tigetstr(name.c_str());
      if (sequence == nullptr || sequence == reinterpret_cast<const char*>(-1)) continue;
      const int key_code = ::key_defined(sequence);
      if (key_code > 0) keys.push_back({static_cast<std::uint32_t>(key_code), base.key, mods});
    }
  }
  return keys;
}

attr_t attributes_of(const widgets::Cell& cell) {
  using widgets::Modifier;
  attr_t attrs = A_NORMAL;
  if (has(cell.modifier, Modifier::Bold)) attrs |= A_BOLD;
  if (has(cell.modifier, Modifier::Italic)) attrs |= A_ITALIC;
  if (has(cell.modifier, Modifier::Underlined)) attrs |= A_UNDERLINE;
  if (has(cell.modifier, Modifier::Reversed)) attrs |= A_REVERSE;
  return attrs;
}

}  // namespace

std::expected<std::unique_ptr<NcursesBackend>, IoError> NcursesBackend::create() {
  if (auto opened = detail::open_session(); !opened) return std::unexpected(opened.error());
  std::unique_ptr<NcursesBackend> backend(new NcursesBackend());
  if (auto ready = backend->set_up(); !ready) return std::unexpected(ready.error());
  return backend;
}

std::expected<void, IoError> NcursesBackend::set_up() {
  if (::raw() == ERR) return std::unexpected(curses_failure("raw()"));
  if (::noecho() == ERR) return std::unexpected(curses_failure("noecho()"));
  if (::nonl() == ERR) return std::unexpected(curses_failure("nonl()"));
  if (::keypad(stdscr, TRUE) == ERR) return std::unexpected(curses_failure("keypad()"));
  // Input is waited for in poll(2); curses itself never blocks.
  if (::nodelay(stdscr, TRUE) == ERR) return std::unexpected(curses_failure("nodelay()"));
  ::intrflush(stdscr, FALSE);
  ::leaveok(stdscr, TRUE);  // no cursor moves after an update: the cursor is hidden anyway
  ::set_escdelay(escape_delay_ms);
  ::curs_set(0);  // fails only where the cursor cannot be hidden; nothing to do about that
  if (::has_colors()) {
    ::start_color();
    default_colors_ = ::use_default_colors() == OK;
    colors_ = COLORS;
  }
  modified_keys_ = load_modified_keys();
  watch_window_changes();
  return {};
}

NcursesBackend::~NcursesBackend() {
  restore();
}

std::expected<widgets::Rect, IoError> NcursesBackend::size() {
  if (size_) return *size_;
  int rows = 0;
  int cols = 0;
  getmaxyx(stdscr, rows, cols);
  if (rows < 0 || cols < 0) return std::unexpected(curses_failure("getmaxyx()"));
  const auto clamp = [](int v) { return static_cast<std::uint16_t>(std::min(v, 0xFFFF)); };
  size_ = widgets::Rect{0, 0, clamp(cols), clamp(rows)};
  return *size_;
}

short NcursesBackend::color_pair(short fg, short bg) {
  if (colors_ < 8) return 0;
  if (!default_colors_) {
    if (fg < 0) fg = COLOR_WHITE;
    if (bg < 0) bg = COLOR_BLACK;
  }
  if (fg < 0 && bg < 0) return 0;
  short& pair = pairs_[static_cast<std::size_t>(fg + 1)][static_cast<std::size_t>(bg + 1)];
  if (pair == 0) {
    // Out of pairs the cell keeps the default colours rather than failing the frame.
    if (next_pair_ >= COLOR_PAIRS || ::init_pair(next_pair_, fg, bg) == ERR) return 0;
    pair = next_pair_++;
  }
  return pair;
}

std::expected<void, IoError> NcursesBackend::draw(std::span<const CellUpdate> cells) {
  int rows = 0;
  int cols = 0;
  getmaxyx(stdscr, rows, cols);
  for (const CellUpdate& update : cells) {
    // A frame drawn for the size before a resize: its cells past the new edge have no place.
    if (update.y >= rows || update.x >= cols) continue;
    const widgets::Cell& cell = *update.cell;
    wchar_t text[2] = {static_cast<wchar_t>(cell_code_point(cell.symbol)), L'\0'};
    if (::wcwidth(text[0]) != 1) text[0] = L'?';  // a cell holds one column, no more, no less
    const ColorNumber fg = color_number(cell.fg, colors_);
    const ColorNumber bg = color_number(cell.bg, colors_);
    attr_t attrs = attributes_of(cell);
    if (fg.bright) attrs |= A_BOLD;
    cchar_t shown;
    if (::setcchar(&shown, text, attrs, color_pair(fg.number, bg.number), nullptr) == ERR) {
      return std::unexpected(curses_failure("setcchar()"));
    }
    // Unlike add_wch, this neither wraps nor moves the cursor, so the bottom-right cell works.
    ::mvwadd_wchnstr(stdscr, update.y, update.x, &shown, 1);
  }
  return {};
}

std::expected<void, IoError> NcursesBackend::clear() {
  ::clearok(curscr, TRUE);
  return {};
}

std::expected<void, IoError> NcursesBackend::flush() {
  size_.reset();
  if (::wnoutrefresh(stdscr) == ERR || ::doupdate() == ERR) {
    return std::unexpected(curses_failure("doupdate()"));
  }
  return {};
}

std::expected<void, IoError> NcursesBackend::hide_cursor() {
  ::curs_set(0);
  return {};
}

std::expected<void, IoError> NcursesBackend::show_cursor() {
  ::curs_set(1);
  return {};
}

std::optional<Event> NcursesBackend::read_ready_key() {
  size_.reset();  // curses takes a new window size in while reading
  wint_t code = 0;
  int status = ::wget_wch(stdscr, &code);
  if (status == ERR) {
    curses_may_hold_input_ = false;
    return std::nullopt;
  }
  bool after_escape = false;
  if (status == OK && code == 0x1B) {
    // curses has waited its escape delay already: a key still right behind the Esc came with it.
    wint_t next = 0;
    const int next_status = ::wget_wch(stdscr, &next);
    if (next_status != ERR) {
      after_escape = true;
      status = next_status;
      code = next;
    }
  }
  curses_may_hold_input_ = true;
  Event event = decode_key({status == KEY_CODE_YES, static_cast<std::uint32_t>(code)}, after_escape,
                           modified_keys_);
  if (auto* resize = std::get_if<ResizeEvent>(&event)) {
    const auto area = size();
    if (area) *resize = {area->width, area->height};
  }
  return event;
}

std::expected<bool, IoError> NcursesBackend::poll(std::chrono::milliseconds timeout) {
  if (pending_) return true;
  // curses may hold input it has read already (after a key, the rest of an escape sequence; after
  // SIGWINCH, a resize). Only then is it asked before the wait: an idle pass makes one system call.
  const bool resized = window_changed.exchange(false, std::memory_order_relaxed);
  if ((curses_may_hold_input_ || resized) && (pending_ = read_ready_key())) return true;

  pollfd input{STDIN_FILENO, POLLIN, 0};
  const auto wait_ms = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INT_MAX);
  const int ready = ::poll(&input, 1, static_cast<int>(wait_ms));
  if (ready < 0) {
    // A signal such as SIGWINCH: whatever it brought is read now, else it is a plain time-out.
    if (errno != EINTR) return std::unexpected(IoError::from_errno());
    pending_ = read_ready_key();
    return pending_.has_value();
  }
  if (ready == 0) return false;
  if ((pending_ = read_ready_key())) return true;
  // A terminal that hung up stays "ready" for ever: report it instead of spinning.
  if (input.revents & (POLLHUP | POLLERR | POLLNVAL)) {
    return std::unexpected(
        IoError::custom(IoErrorKind::UnexpectedEof, "the terminal closed its input"));
  }
  return false;
}

std::expected<Event, IoError> NcursesBackend::read() {
  while (!pending_) {
    if (auto ready = poll(std::chrono::hours(1)); !ready) return std::unexpected(ready.error());
  }
  Event event = *pending_;
  pending_.reset();
  return event;
}

}  // namespace sparvik::term
