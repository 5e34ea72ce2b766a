// Splits a rectangle into rows or columns by Length, Min and Percentage constraints.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "widgets/core/rect.hpp"

namespace sparvik::widgets {

struct Constraint {
  enum class Kind : std::uint8_t { Length, Min, Percentage };
  Kind kind;
  std::uint16_t value;

  static constexpr Constraint length(std::uint16_t n) { return {Kind::Length, n}; }
  static constexpr Constraint min(std::uint16_t n) { return {Kind::Min, n}; }
  static constexpr Constraint percentage(std::uint16_t p) { return {Kind::Percentage, p}; }
  friend constexpr bool operator==(const Constraint&, const Constraint&) = default;
};

enum class Direction : std::uint8_t { Horizontal, Vertical };

// One rectangle per constraint into `parts` (of the same length), in order, tiling `area` along
// `direction` without overlap. Percentages are of the whole area, rounded so that parts making
// 100 percent fill it exactly, each within a cell of its share. When the space is short, later
// parts shrink first; Min parts share out what is left over.
void split_into(Rect area, Direction direction, std::span<const Constraint> constraints,
                std::span<Rect> parts);

// The same for a fixed list of constraints, as the screens lay out every frame: no allocation.
template <std::size_t N>
std::array<Rect, N> split(Rect area, Direction direction, const Constraint (&constraints)[N]) {
  std::array<Rect, N> parts{};
  split_into(area, direction, constraints, parts);
  return parts;
}

}  // namespace sparvik::widgets
