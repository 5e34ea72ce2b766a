// AppInfo::run: the main thread's loop of draw, wait for an event, act on a key press. Failures of
// the key actions are shown on the error screen; only the terminal's own failures end the loop
// early. A stop asked for from outside ends it as the quit key does.
#include <chrono>
#include <optional>
#include <source_location>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/crash/crash.hpp"
#include "platform/error_source.hpp"
#include "platform/io_error.hpp"
#include "platform/report.hpp"
#include "platform/terminal/event.hpp"
#include "platform/terminal/terminal.hpp"
#include "ui_struct/app_info.hpp"

namespace sparvik {
namespace {

// Bounds the time between two frames while nothing happens, so the sweep screen keeps up with
// the worker.
constexpr std::chrono::milliseconds poll_timeout{16};

// A report whose message is the error's display text and whose causes are the display texts of
// its source chain, outermost first.
template <class E>
Report report_from(const E& error, std::source_location where = std::source_location::current()) {
  std::vector<std::string> causes;
  for (std::optional<ErrorSource> cause = ErrorSource(error).source(); cause;
       cause = cause->source()) {
    causes.push_back(cause->display());
  }
  return Report(error.display(), std::move(causes), where);
}

using Action = std::expected<void, SparvikUIError>;

// The key map. Letters count in lower case only; the modifiers are not looked at.
Action act_on_key(AppInfo& app, const term::KeyEvent& key) {
  using term::KeyCode;
  KeyCode code = key.code;
  if (code == KeyCode::Char) {
    switch (key.ch) {
      case U'h':
        code = KeyCode::Left;
        break;
      case U'l':
        code = KeyCode::Right;
        break;
      case U'k':
        code = KeyCode::Up;
        break;
      case U'j':
        code = KeyCode::Down;
        break;
      case U'q':
        code = KeyCode::Esc;
        break;
      default:
        return {};
    }
  }
  switch (code) {
    case KeyCode::Enter:
      // One sweep per run: a second Enter must not start another worker.
      if (app.menu == MenuState::ScanRunning) return {};
      return app.next_step();
    case KeyCode::Left:
      return app.next_menu(MoveDirection::Left);
    case KeyCode::Right:
      return app.next_menu(MoveDirection::Right);
    case KeyCode::Up:
      app.change_cursor_position(false);
      return {};
    case KeyCode::Down:
      app.change_cursor_position(true);
      return {};
    case KeyCode::Esc:
      app.exit = true;
      return {};
    default:
      return {};
  }
}

}  // namespace

std::expected<void, Report> AppInfo::run(term::Terminal& terminal) {
  if (auto coloured = update_color(); !coloured) {
    return std::unexpected(report_from(coloured.error()));
  }
  while (true) {
    auto drawn = terminal.draw([this](widgets::Frame& frame) {
      // Only a missing shared record makes draw fail: the state is broken beyond repair.
      if (auto screen = draw(frame); !screen) fatal(screen.error().display());
    });
    if (!drawn) return std::unexpected(report_from(drawn.error()));

    auto ready = terminal.poll(poll_timeout);
    // Before the poll's outcome: a hang-up's SIGHUP comes with a terminal that fails, and the stop
    // is what ends the run. The event that woke the poll, if any, is not acted on.
    if (stop_requested()) {
      exit = true;
      return {};
    }
    if (!ready) return std::unexpected(report_from(ready.error()));
    if (!*ready) continue;

    auto event = terminal.read();
    if (!event) return std::unexpected(report_from(event.error()));

    const auto* key = std::get_if<term::KeyEvent>(&*event);
    if (key != nullptr && key->kind == term::KeyEventKind::Press) {
      if (Action acted = act_on_key(*this, *key); !acted) {
        auto info = get_connection_info();
        if (!info) return std::unexpected(report_from(info.error()));
        (*info)->set_error(std::move(acted.error()));
        menu = MenuState::ErrorReport;
      }
    }
    if (exit) return {};
  }
}

}  // namespace sparvik
