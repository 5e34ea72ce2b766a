// Span-by-span writing of a Line.
#include "widgets/draw_line.hpp"

namespace sparvik::widgets {

std::uint16_t draw_line(Buffer& buf, std::uint16_t x, std::uint16_t y, const Line& line,
                        std::uint16_t max_width) {
  const std::uint32_t limit = std::uint32_t{x} + max_width;
  std::uint16_t col = x;
  for (const Span& span : line.spans) {
    if (col >= limit) break;
    col = buf.set_string(col, y, span.content, span.style, static_cast<std::uint16_t>(limit - col));
  }
  return col;
}

}  // namespace sparvik::widgets
