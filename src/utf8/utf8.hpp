// One step through UTF-8 text: how long the sequence at a position is, and whether it is
// well-formed. The validator, the lossy converter and the cell buffer all walk text with it.
#pragma once

#include <cstddef>
#include <string_view>

namespace sparvik::utf8 {

struct Step {
  // Bytes of the sequence when valid; otherwise the bytes of its longest well-formed beginning
  // (at least 1), the part a lossy reading replaces by one U+FFFD.
  std::size_t length;
  bool valid;
};

// `i` must be below text.size(). Overlong forms, UTF-16 surrogates and code points past U+10FFFF
// are malformed.
constexpr Step step_at(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return {1, true};
  // The range of the first continuation byte depends on the lead byte.
  std::size_t continuations = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuations = 1;
  } else if (lead == 0xE0) {
    continuations = 2;
    low = 0xA0;
  } else if (lead == 0xED) {
    continuations = 2;
    high = 0x9F;
  } else if (lead >= 0xE1 && lead <= 0xEF) {
    continuations = 2;
  } else if (lead == 0xF0) {
    continuations = 3;
    low = 0x90;
  } else if (lead >= 0xF1 && lead <= 0xF3) {
    continuations = 3;
  } else if (lead == 0xF4) {
    continuations = 3;
    high = 0x8F;
  } else {
    return {1, false};
  }
  std::size_t length = 1;
  for (std::size_t k = 1; k <= continuations; ++k, low = 0x80, high = 0xBF) {
    if (i + k >= text.size() || byte(i + k) < low || byte(i + k) > high) return {length, false};
    ++length;
  }
  return {length, true};
}

}  // namespace sparvik::utf8
