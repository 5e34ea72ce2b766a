// Numbers as the CSV file and the log show them: the shortest digits that read back as the same
// double, positional (never an exponent), no ".0" on integral values.
#pragma once

#include <charconv>
#include <cstddef>

namespace sparvik::scan {

// Enough for any finite double in fixed notation (the smallest subnormal needs 0. and 323 more
// digits, the largest value 309 digits), with its sign.
inline constexpr std::size_t kMaxNumberChars = 400;

// Writes the number at `first`; `last - first` must be at least kMaxNumberChars.
inline char* write_number(char* first, char* last, double value) {
  return std::to_chars(first, last, value, std::chars_format::fixed).ptr;
}

}  // namespace sparvik::scan
