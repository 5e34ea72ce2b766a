#include "platform/terminal/event.hpp"

#include <fmt/format.h>

#include <ostream>

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

// The character as UTF-8, or U+XXXX when it is no scalar value.
std::string utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c >= 0x10000 && c <= 0x10FFFF) {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out = fmt::format("U+{:04X}", static_cast<std::uint32_t>(c));
  }
  return out;
}

}  // namespace

std::string describe(const KeyEvent& key) {
  std::string out;
  if (has(key.mods, Modifiers::Ctrl)) out += "Ctrl+";
  if (has(key.mods, Modifiers::Alt)) out += "Alt+";
  if (has(key.mods, Modifiers::Shift)) out += "Shift+";
  out += key_name(key.code);
  if (key.code == KeyCode::Char) {
    if (key.ch < 0x20 || key.ch == 0x7F) {
      out += fmt::format("(U+{:04X})", static_cast<std::uint32_t>(key.ch));
    } else {
      out += "('" + utf8(key.ch) + "')";
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
