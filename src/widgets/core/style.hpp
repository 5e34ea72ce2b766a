// Colours, text modifiers and the style a widget applies to cells.
#pragma once

#include <cstdint>
#include <optional>

namespace sparvik::widgets {

// The named colours the screens use; Reset is the terminal's own default.
enum class Color : std::uint8_t { Reset, White, DarkGray, Gray, Red, Yellow, Blue, Black };

enum class Modifier : std::uint8_t { None = 0, Bold = 1, Italic = 2, Underlined = 4, Reversed = 8 };
constexpr Modifier operator|(Modifier a, Modifier b) {
  return static_cast<Modifier>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr Modifier operator&(Modifier a, Modifier b) {
  return static_cast<Modifier>(static_cast<std::uint8_t>(a) & static_cast<std::uint8_t>(b));
}
constexpr bool has(Modifier set, Modifier m) {
  return (set & m) != Modifier::None;
}

// A style leaves unset parts of a cell as they are when patched onto it.
struct Style {
  std::optional<Color> fg;
  std::optional<Color> bg;
  Modifier add_modifier = Modifier::None;

  constexpr Style& foreground(Color c) {
    fg = c;
    return *this;
  }
  constexpr Style& background(Color c) {
    bg = c;
    return *this;
  }
  constexpr Style& modifier(Modifier m) {
    add_modifier = add_modifier | m;
    return *this;
  }
  // `other` over this: its set parts win, modifiers add up.
  constexpr Style patch(const Style& other) const {
    Style s = *this;
    if (other.fg) s.fg = other.fg;
    if (other.bg) s.bg = other.bg;
    s.add_modifier = s.add_modifier | other.add_modifier;
    return s;
  }
  friend constexpr bool operator==(const Style&, const Style&) = default;
};

constexpr Style fg(Color c) {
  return Style{}.foreground(c);
}

}  // namespace sparvik::widgets
