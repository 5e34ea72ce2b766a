#include "platform/terminal/event.hpp"

#include <fmt/format.h>

#include <ostream>

#include "utf8/utf8.hpp"

namespace sparvik::term {
namespace {

const char* key_name(KeyCode code) {
  switch (code) {
    case KeyCode::Char:
      return "Char";
    case KeyCode::Enter:
      return "Enter";
    case KeyCode::Esc:
      return "Esc";
    case KeyCode::Left:
      return "Left";
    case KeyCode::Right:
      return "Right";
    case KeyCode::Up:
      return "Up";
    case KeyCode::Down:
      return "Down";
    case KeyCode::Tab:
      return "Tab";
    case KeyCode::BackTab:
      return "BackTab";
    case KeyCode::Backspace:
      return "Backspace";
    case KeyCode::Delete:
      return "Delete";
    case KeyCode::Insert:
      return "Insert";
    case KeyCode::Home:
      return "Home";
    case KeyCode::End:
      return "End";
    case KeyCode::PageUp:
      return "PageUp";
    case KeyCode::PageDown:
      return "PageDown";
    case KeyCode::Other:
      return "Other";
  }
  return "Other";
}

const char* kind_suffix(KeyEventKind kind) {
  switch (kind) {
    case KeyEventKind::Press:
      return "";
    case KeyEventKind::Release:
      return " (release)";
    case KeyEventKind::Repeat:
      return " (repeat)";
  }
  return "";
}

}  // namespace

std::string describe(const KeyEvent& key) {
  std::string out;
  if (has(key.mods, Modifiers::Ctrl)) out += "Ctrl+";
  if (has(key.mods, Modifiers::Alt)) out += "Alt+";
  if (has(key.mods, Modifiers::Shift)) out += "Shift+";
  out += key_name(key.code);
  if (key.code == KeyCode::Char) {
    // Controls and values that are no character show as their number.
    const utf8::Encoded encoded = utf8::encode(key.ch);
    if (utf8::is_control(key.ch) || encoded.size == 0) {
      out += fmt::format("(U+{:04X})", static_cast<std::uint32_t>(key.ch));
    } else {
      out += fmt::format("('{}')", encoded.view());
    }
  }
  return out + kind_suffix(key.kind);
}

std::string describe(const Event& event) {
  if (const auto* key = std::get_if<KeyEvent>(&event)) return describe(*key);
  if (const auto* resize = std::get_if<ResizeEvent>(&event)) {
    return fmt::format("Resize({}x{})", resize->width, resize->height);
  }
  return "OtherEvent";
}

void PrintTo(const KeyEvent& key, std::ostream* os) {
  *os << describe(key);
}
void PrintTo(const Event& event, std::ostream* os) {
  *os << describe(event);
}

}  // namespace sparvik::term
