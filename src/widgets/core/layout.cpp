// The constraint allocator: minimums first in order, then percentages, then the rest to Min parts.
#include "widgets/core/layout.hpp"

#include <algorithm>

namespace sparvik::widgets {

std::vector<Rect> split(Rect area, Direction direction,
                        const std::vector<Constraint>& constraints) {
  const bool horizontal = direction == Direction::Horizontal;
  const std::uint32_t total = horizontal ? area.width : area.height;
  std::vector<std::uint32_t> sizes(constraints.size(), 0);
  std::uint32_t remaining = total;

  // Lengths and Min minimums in order: when they do not fit, the later parts get what is left.
  std::size_t min_parts = 0;
  for (std::size_t i = 0; i < constraints.size(); ++i) {
    const Constraint& c = constraints[i];
    if (c.kind == Constraint::Kind::Percentage) continue;
    if (c.kind == Constraint::Kind::Min) ++min_parts;
    sizes[i] = std::min<std::uint32_t>(c.value, remaining);
    remaining -= sizes[i];
  }
  for (std::size_t i = 0; i < constraints.size(); ++i) {
    const Constraint& c = constraints[i];
    if (c.kind != Constraint::Kind::Percentage) continue;
    const std::uint32_t percent = std::min<std::uint32_t>(c.value, 100);
    sizes[i] = std::min(total * percent / 100, remaining);
    remaining -= sizes[i];
  }
  // Min parts grow evenly into the free space; the first ones take one cell more of an uneven rest.
  if (min_parts > 0 && remaining > 0) {
    const std::uint32_t share = remaining / static_cast<std::uint32_t>(min_parts);
    std::uint32_t extra = remaining % static_cast<std::uint32_t>(min_parts);
    for (std::size_t i = 0; i < constraints.size(); ++i) {
      if (constraints[i].kind != Constraint::Kind::Min) continue;
      sizes[i] += share;
      if (extra > 0) {
        ++sizes[i];
        --extra;
      }
    }
  }

  std::vector<Rect> parts;
  parts.reserve(constraints.size());
  std::uint32_t offset = horizontal ? area.x : area.y;
  for (const std::uint32_t size : sizes) {
    // Clamp in case the area itself reaches past the 16-bit coordinate range.
    const auto start = static_cast<std::uint16_t>(std::min<std::uint32_t>(offset, UINT16_MAX));
    const auto len = static_cast<std::uint16_t>(std::min<std::uint32_t>(size, UINT16_MAX - start));
    if (horizontal) {
      parts.push_back(Rect{start, area.y, len, area.height});
    } else {
      parts.push_back(Rect{area.x, start, area.width, len});
    }
    offset += size;
  }
  return parts;
}

}  // namespace sparvik::widgets
