// The one-row gauge: label, a blank, then the line split into its filled and unfilled parts.
#include "widgets/line_gauge.hpp"

#include <algorithm>
#include <cmath>

#include "widgets/draw_line.hpp"

namespace sparvik::widgets {

LineGauge& LineGauge::ratio(double ratio) {
  ratio_ = std::isnan(ratio) ? 0.0 : std::clamp(ratio, 0.0, 1.0);
  return *this;
}

void LineGauge::render(Rect area, Buffer& buf) const {
  area = area.intersection(buf.area());
  if (area.empty()) return;
  const Rect gauge_area = render_backdrop(block_, style_, area, buf);
  if (gauge_area.empty()) return;

  const std::uint16_t y = gauge_area.y;
  std::uint32_t start = gauge_area.x;
  if (label_ && label_->width() > 0) {
    start = std::uint32_t{draw_line(buf, gauge_area.x, y, *label_, gauge_area.width)} + 1;
  }
  const std::uint32_t end = gauge_area.right();
  if (start >= end) return;
  const std::uint32_t line_width = end - start;
  const auto filled = static_cast<std::uint32_t>(std::floor(ratio_ * line_width));
  for (std::uint32_t x = start; x < end; ++x) {
    buf.set_symbol(static_cast<std::uint16_t>(x), y, Symbol("─"),
                   x - start < filled ? filled_style_ : unfilled_style_);
  }
}

}  // namespace sparvik::widgets
