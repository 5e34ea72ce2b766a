// UTF-8 decoding for the cell buffer: malformed sequences become U+FFFD, controls take no cell.
#include "widgets/core/utf8.hpp"

#include "platform/utf8.hpp"

namespace sparvik::widgets::utf8 {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

Character next_character(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    const bool control = lead < 0x20 || lead == 0x7F;
    return {text.substr(i, 1), 1, !control};
  }
  const sparvik::utf8::Step step = sparvik::utf8::step_at(text, i);
  // Each byte of a malformed sequence shows as a replacement of its own.
  if (!step.valid) return {kReplacement, 1, true};
  const auto second = static_cast<unsigned char>(text[i + 1]);
  const bool c1_control = lead == 0xC2 && second < 0xA0;  // U+0080..U+009F
  return {text.substr(i, step.length), step.length, !c1_control};
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
