// Console events as the run loop sees them, independent of the terminal back end.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <variant>

namespace sparvik::term {

enum class KeyCode : std::uint8_t {
  Char,  // a printable character, in KeyEvent::ch
  Enter,
  Esc,
  Left,
  Right,
  Up,
  Down,
  Tab,
  BackTab,
  Backspace,
  Delete,
  Insert,
  Home,
  End,
  PageUp,
  PageDown,
  Other,  // any key without a name here (function keys, keypad centre, ...)
};

enum class KeyEventKind : std::uint8_t { Press, Release, Repeat };

enum class Modifiers : std::uint8_t { None = 0, Shift = 1, Ctrl = 2, Alt = 4 };
constexpr Modifiers operator|(Modifiers a, Modifiers b) {
  return static_cast<Modifiers>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr Modifiers operator&(Modifiers a, Modifiers b) {
  return static_cast<Modifiers>(static_cast<std::uint8_t>(a) & static_cast<std::uint8_t>(b));
}
constexpr bool has(Modifiers set, Modifiers m) {
  return (set & m) != Modifiers::None;
}

struct KeyEvent {
  KeyCode code = KeyCode::Other;
  char32_t ch = 0;  // set for KeyCode::Char only
  KeyEventKind kind = KeyEventKind::Press;
  Modifiers mods = Modifiers::None;

  static constexpr KeyEvent key(KeyCode code, Modifiers mods = Modifiers::None) {
    return {code, 0, KeyEventKind::Press, mods};
  }
  static constexpr KeyEvent character(char32_t ch, Modifiers mods = Modifiers::None) {
    return {KeyCode::Char, ch, KeyEventKind::Press, mods};
  }
  friend constexpr bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// The console window changed size; the next draw picks the new size up by itself.
struct ResizeEvent {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  friend constexpr bool operator==(const ResizeEvent&, const ResizeEvent&) = default;
};

// Mouse, focus, paste: events the program reads and drops.
struct OtherEvent {
  friend constexpr bool operator==(const OtherEvent&, const OtherEvent&) = default;
};

using Event = std::variant<KeyEvent, ResizeEvent, OtherEvent>;

// Short readable forms for logs and test messages: "Ctrl+Left", "Char('q')", "Resize(80x24)".
std::string describe(const KeyEvent& key);
std::string describe(const Event& event);

// Test frameworks print events through these.
void PrintTo(const KeyEvent& key, std::ostream* os);
void PrintTo(const Event& event, std::ostream* os);

}  // namespace sparvik::term
