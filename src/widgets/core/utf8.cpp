// UTF-8 decoding for the cell buffer: malformed sequences become U+FFFD, controls take no cell.
#include "widgets/core/utf8.hpp"

namespace sparvik::widgets::utf8 {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool is_continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

}  // namespace

Character next_character(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    const bool control = lead < 0x20 || lead == 0x7F;
    return {text.substr(i, 1), 1, !control};
  }
  std::size_t len = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
  }
  if (len == 0 || i + len > text.size()) return {kReplacement, 1, true};
  for (std::size_t k = 1; k < len; ++k) {
    if (!is_continuation(static_cast<unsigned char>(text[i + k]))) return {kReplacement, 1, true};
  }
  const auto second = static_cast<unsigned char>(text[i + 1]);
  // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return {kReplacement, 1, true};
  }
  const bool c1_control = lead == 0xC2 && second < 0xA0;  // U+0080..U+009F
  return {text.substr(i, len), len, !c1_control};
}

std::size_t cell_width(std::string_view text) {
  std::size_t cells = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Character ch = next_character(text, i);
    i += ch.consumed;
    cells += ch.printable ? 1 : 0;
  }
  return cells;
}

}  // namespace sparvik::widgets::utf8
