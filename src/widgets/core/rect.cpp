// Saturating rectangle arithmetic.
#include "widgets/core/rect.hpp"

#include <algorithm>

namespace sparvik::widgets {

Rect Rect::inner(std::uint16_t margin) const {
  const std::uint32_t both = std::uint32_t{margin} * 2;
  const std::uint16_t nx = saturating_add(x, margin);
  const std::uint16_t ny = saturating_add(y, margin);
  if (width <= both || height <= both) return Rect{nx, ny, 0, 0};
  return Rect{nx, ny, static_cast<std::uint16_t>(width - both),
              static_cast<std::uint16_t>(height - both)};
}

Rect Rect::intersection(const Rect& other) const {
  const std::uint16_t x1 = std::max(x, other.x);
  const std::uint16_t y1 = std::max(y, other.y);
  const std::uint16_t x2 = std::min(right(), other.right());
  const std::uint16_t y2 = std::min(bottom(), other.bottom());
  if (x2 <= x1 || y2 <= y1) return Rect{x1, y1, 0, 0};
  return Rect{x1, y1, static_cast<std::uint16_t>(x2 - x1), static_cast<std::uint16_t>(y2 - y1)};
}

}  // namespace sparvik::widgets
