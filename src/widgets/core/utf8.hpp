// Walking UTF-8 text the way the buffer lays it out: one cell per printable character.
#pragma once

#include <cstddef>
#include <string_view>

namespace sparvik::widgets::utf8 {

// One character of the input: the bytes to store in a cell (U+FFFD for malformed input), how many
// input bytes it used, and whether it takes a cell (control characters do not: they would drive
// the terminal instead of showing).
struct Character {
  std::string_view symbol;
  std::size_t consumed;
  bool printable;
};

// `i` must be below text.size().
Character next_character(std::string_view text, std::size_t i);

// Cells that `text` takes when written into a buffer.
std::size_t cell_width(std::string_view text);

}  // namespace sparvik::widgets::utf8
