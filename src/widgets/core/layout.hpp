// Splits a rectangle into rows or columns by Length, Min and Percentage constraints.
#pragma once

#include <cstdint>
#include <vector>

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

// One rectangle per constraint, in order, tiling `area` along `direction` without overlap. When
// the space is short, later parts shrink first; Min parts share out what is left over.
std::vector<Rect> split(Rect area, Direction direction, const std::vector<Constraint>& constraints);

}  // namespace sparvik::widgets
