// Unwrapped text, cut at the right edge and the bottom, left or centre aligned.
#include "widgets/paragraph.hpp"

#include "widgets/draw_line.hpp"

namespace sparvik::widgets {

void Paragraph::render(Rect area, Buffer& buf) const {
  area = area.intersection(buf.area());
  if (area.empty()) return;
  const Rect text_area = render_backdrop(block_, style_, area, buf);
  if (text_area.empty()) return;
  const std::size_t rows = std::min<std::size_t>(text_area.height, text_.lines.size());
  for (std::size_t i = 0; i < rows; ++i) {
    const Line& line = text_.lines[i];
    std::uint16_t x = text_area.x;
    if (alignment_ == Alignment::Center) {
      const std::size_t width = line.width();
      if (width < text_area.width)
        x = static_cast<std::uint16_t>(x + (text_area.width - width) / 2);
    }
    const auto used = static_cast<std::uint16_t>(x - text_area.x);
    draw_line(buf, x, static_cast<std::uint16_t>(text_area.y + i), line,
              static_cast<std::uint16_t>(text_area.width - used));
  }
}

}  // namespace sparvik::widgets
