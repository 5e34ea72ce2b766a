// Borders and title of a Block.
#include "widgets/block.hpp"

#include <string_view>

#include "widgets/draw_line.hpp"

namespace sparvik::widgets {

Rect Block::inner(Rect area) const {
  if (borders_) return area.inner(1);
  if (title_ && !area.empty()) {
    // An untitled top row is free; a title without borders takes it.
    const Rect below{area.x, area.y < UINT16_MAX ? static_cast<std::uint16_t>(area.y + 1) : area.y,
                     area.width, static_cast<std::uint16_t>(area.height - 1)};
    return below;
  }
  return area;
}

void Block::render(Rect area, Buffer& buf) const {
  area = area.intersection(buf.area());
  if (area.empty()) return;
  buf.set_style(area, style_);
  const std::uint16_t last_col = static_cast<std::uint16_t>(area.right() - 1);
  const std::uint16_t last_row = static_cast<std::uint16_t>(area.bottom() - 1);
  if (borders_) {
    buf.fill(Rect{area.x, area.y, area.width, 1}, Symbol("─"), border_style_);
    buf.fill(Rect{area.x, last_row, area.width, 1}, Symbol("─"), border_style_);
    buf.fill(Rect{area.x, area.y, 1, area.height}, Symbol("│"), border_style_);
    buf.fill(Rect{last_col, area.y, 1, area.height}, Symbol("│"), border_style_);
    buf.set_symbol(area.x, area.y, Symbol("┌"), border_style_);
    buf.set_symbol(last_col, area.y, Symbol("┐"), border_style_);
    buf.set_symbol(area.x, last_row, Symbol("└"), border_style_);
    buf.set_symbol(last_col, last_row, Symbol("┘"), border_style_);
  }
  if (title_) {
    // Between the corners when bordered, so the title never covers them.
    const std::uint16_t start = borders_ ? static_cast<std::uint16_t>(area.x + 1) : area.x;
    const std::uint16_t room =
        borders_ ? static_cast<std::uint16_t>(area.width > 2 ? area.width - 2 : 0) : area.width;
    if (room > 0) draw_line(buf, start, area.y, *title_, room);
  }
}

Rect inner_area(const std::optional<Block>& block, Rect area) {
  return block ? block->inner(area) : area;
}

Rect render_backdrop(const std::optional<Block>& block, Style style, Rect area, Buffer& buf) {
  buf.set_style(area, style);
  if (block) block->render(area, buf);
  return inner_area(block, area);
}

}  // namespace sparvik::widgets
