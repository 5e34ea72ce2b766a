// How a cell's symbol and colours map onto a curses terminal. Pure, so testable without one.
#pragma once

#include <string_view>

#include "widgets/core/style.hpp"

namespace sparvik::term {

// The character to put in a cell: the first one of the symbol, decoded from UTF-8. An empty
// symbol and control characters (which would move the cursor or print as "^X" over two cells)
// become a blank; malformed UTF-8 becomes U+FFFD.
char32_t cell_code_point(std::string_view symbol);

// A curses colour number (-1: the terminal's default) and whether it needs A_BOLD to be bright,
// as on terminals that have only the eight basic colours.
struct ColorNumber {
  short number = -1;
  bool bright = false;
  friend constexpr bool operator==(const ColorNumber&, const ColorNumber&) = default;
};
ColorNumber color_number(widgets::Color color, int terminal_colors);

}  // namespace sparvik::term
