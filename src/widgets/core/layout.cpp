// The constraint allocator: minimums first in order, then percentages, then the rest to Min parts.
#include "widgets/core/layout.hpp"

#include <algorithm>
#include <cassert>

namespace sparvik::widgets {
namespace {

// `percent` per cent of `total` cells, to the nearest cell, halves up.
std::uint64_t rounded_share(std::uint32_t total, std::uint64_t percent) {
  return (total * percent + 50) / 100;
}

}  // namespace

void split_into(Rect area, Direction direction, std::span<const Constraint> constraints,
                std::span<Rect> parts) {
  assert(parts.size() == constraints.size());
  const bool horizontal = direction == Direction::Horizontal;
  const std::uint32_t total = horizontal ? area.width : area.height;
  // Each size is at most `total`, a 16-bit width: they are kept in the parts until placed.
  const auto sizes = [&parts, horizontal](std::size_t i) -> std::uint16_t& {
    return horizontal ? parts[i].width : parts[i].height;
  };
  for (std::size_t i = 0; i < parts.size(); ++i) sizes(i) = 0;
  std::uint32_t remaining = total;

  // Lengths and Min minimums in order: when they do not fit, the later parts get what is left.
  std::size_t min_parts = 0;
  for (std::size_t i = 0; i < constraints.size(); ++i) {
    const Constraint& c = constraints[i];
    if (c.kind == Constraint::Kind::Percentage) continue;
    if (c.kind == Constraint::Kind::Min) ++min_parts;
    sizes(i) = static_cast<std::uint16_t>(std::min<std::uint32_t>(c.value, remaining));
    remaining -= sizes(i);
  }
  // Each percentage part ends where its running total of percent, rounded, ends: the parts differ
  // from their shares by less than a cell, and together they take their rounded sum, so parts
  // that add up to 100 percent fill the area exactly.
  std::uint64_t percent_before = 0;
  for (std::size_t i = 0; i < constraints.size(); ++i) {
    const Constraint& c = constraints[i];
    if (c.kind != Constraint::Kind::Percentage) continue;
    const std::uint64_t percent_after = percent_before + std::min<std::uint16_t>(c.value, 100);
    const std::uint64_t share =
        rounded_share(total, percent_after) - rounded_share(total, percent_before);
    percent_before = percent_after;
    sizes(i) = static_cast<std::uint16_t>(std::min<std::uint64_t>(share, remaining));
    remaining -= sizes(i);
  }
  // Min parts grow evenly into the free space; the first ones take one cell more of an uneven rest.
  if (min_parts > 0 && remaining > 0) {
    const std::uint32_t share = remaining / static_cast<std::uint32_t>(min_parts);
    std::uint32_t extra = remaining % static_cast<std::uint32_t>(min_parts);
    for (std::size_t i = 0; i < constraints.size(); ++i) {
      if (constraints[i].kind != Constraint::Kind::Min) continue;
      sizes(i) = static_cast<std::uint16_t>(sizes(i) + share);
      if (extra > 0) {
        ++sizes(i);
        --extra;
      }
    }
  }

  std::uint32_t offset = horizontal ? area.x : area.y;
  for (Rect& part : parts) {
    const std::uint32_t size = horizontal ? part.width : part.height;
    // Clamp in case the area itself reaches past the 16-bit coordinate range.
    const auto start = static_cast<std::uint16_t>(std::min<std::uint32_t>(offset, UINT16_MAX));
    const auto len = static_cast<std::uint16_t>(std::min<std::uint32_t>(size, UINT16_MAX - start));
    part =
        horizontal ? Rect{start, area.y, len, area.height} : Rect{area.x, start, area.width, len};
    offset += size;
  }
}

}  // namespace sparvik::widgets
