#include "platform/terminal/cell_mapping.hpp"

#include "utf8/utf8.hpp"

namespace sparvik::term {

char32_t cell_code_point(std::string_view symbol) {
  if (symbol.empty()) return U' ';
  const char32_t c = utf8::decode_at(symbol, 0).code_point;
  return utf8::is_control(c) ? U' ' : c;
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
