// UTF-8 in one place: stepping through text, decoding, encoding, and how text lays out in the
// cells of a terminal. The lowest unit of the program: everything that reads or writes UTF-8 uses
// it, and it uses nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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

inline constexpr char32_t replacement = 0xFFFD;
inline constexpr std::string_view replacement_text = "\xEF\xBF\xBD";

// The code point at `i` (below text.size()) and the bytes it takes; malformed input decodes to
// U+FFFD over the bytes step_at() names.
struct Decoded {
  char32_t code_point;
  std::size_t length;
  bool valid;
};
constexpr Decoded decode_at(std::string_view text, std::size_t i) {
  const Step step = step_at(text, i);
  if (!step.valid) return {replacement, step.length, false};
  const auto lead = static_cast<unsigned char>(text[i]);
  constexpr unsigned char lead_bits[] = {0x7F, 0x1F, 0x0F, 0x07};
  char32_t value = lead & lead_bits[step.length - 1];
  for (std::size_t k = 1; k < step.length; ++k) {
    value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  }
  return {value, step.length, true};
}

constexpr bool is_scalar(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// C0 and C1 control characters and DEL: they drive a terminal instead of showing.
constexpr bool is_control(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The UTF-8 form of one code point, held by value; empty for anything that is no scalar value.
struct Encoded {
  std::array<char, 4> bytes{};
  std::uint8_t size = 0;
  constexpr std::string_view view() const { return {bytes.data(), size}; }
};
constexpr Encoded encode(char32_t c) {
  Encoded out;
  const auto put = [&](std::uint32_t b) { out.bytes[out.size++] = static_cast<char>(b); };
  if (!is_scalar(c)) return out;
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | (c >> 6));
    put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | (c >> 18));
    put(0x80 | ((c >> 12) & 0x3F));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  }
  return out;
}

// One character of text as the cells lay it out: the bytes to show (U+FFFD for malformed input),
// how many input bytes it used, and whether it takes a cell (control characters do not). Each
// byte of a malformed sequence is a character of its own.
struct Character {
  std::string_view symbol;
  std::size_t consumed;
  bool printable;
};
// `i` must be below text.size().
constexpr Character next_character(std::string_view text, std::size_t i) {
  const Decoded d = decode_at(text, i);
  if (!d.valid) return {replacement_text, 1, true};
  return {text.substr(i, d.length), d.length, !is_control(d.code_point)};
}

// Cells that `text` takes: one per printable character.
constexpr std::size_t cell_width(std::string_view text) {
  std::size_t cells = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Character ch = next_character(text, i);
    i += ch.consumed;
    cells += ch.printable ? 1 : 0;
  }
  return cells;
}

}  // namespace sparvik::utf8
