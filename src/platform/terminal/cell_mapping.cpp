#include "platform/terminal/cell_mapping.hpp"

#include <cstdint>

namespace sparvik::term {
namespace {

constexpr char32_t replacement = 0xFFFD;

bool is_control(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Strict UTF-8: rejects overlong forms, surrogates and values past U+10FFFF.
char32_t decode_first(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return lead;
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return replacement;
  }
  if (text.size() < length) return replacement;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return replacement;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return replacement;
  }
  return value;
}

}  // namespace

char32_t cell_code_point(std::string_view symbol) {
  if (symbol.empty()) return U' ';
  const char32_t c = decode_first(symbol);
  return is_control(c) ? U' ' : c;
}

ColorNumber color_number(widgets::Color color, int terminal_colors) {
  using widgets::Color;
  if (terminal_colors < 8) return {};
  const bool sixteen = terminal_colors >= 16;
  switch (color) {
    case Color::Reset:
      return {-1, false};
    case Color::Black:
      return {0, false};
    case Color::Red:
      return {1, false};
    case Color::Yellow:
      return {3, false};
    case Color::Blue:
      return {4, false};
    case Color::Gray:
      return {7, false};
    case Color::DarkGray:
      return sixteen ? ColorNumber{8, false} : ColorNumber{0, true};
    case Color::White:
      return sixteen ? ColorNumber{15, false} : ColorNumber{7, true};
  }
  return {};
}

}  // namespace sparvik::term
