// Turns what ncurses' wget_wch reports into console events. Pure, so the whole key table is
// testable without a terminal.
#pragma once

#include <cstdint>
#include <span>

#include "platform/terminal/event.hpp"

namespace sparvik::term {

// One result of wget_wch: a function-key code (KEY_CODE_YES) or a character.
struct RawKey {
  bool function_key = false;
  std::uint32_t code = 0;
};

// A key code that the terminal description defines at run time, such as Ctrl+Left ("kLFT5").
struct ModifiedKey {
  std::uint32_t code = 0;
  KeyCode key = KeyCode::Other;
  Modifiers mods = Modifiers::None;
};

// `after_escape`: the key arrived right behind an Esc, which is how terminals send Alt+key.
// A resize comes back as ResizeEvent{0, 0}: the caller fills in the new size.
Event decode_key(RawKey raw, bool after_escape, std::span<const ModifiedKey> modified_keys);

}  // namespace sparvik::term
