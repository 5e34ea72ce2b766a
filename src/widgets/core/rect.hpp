// A rectangle of cells. Arithmetic saturates: nothing here fails or wraps.
#pragma once

#include <cstdint>

namespace sparvik::widgets {

struct Rect {
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;

  constexpr std::uint32_t area() const { return std::uint32_t{width} * height; }
  constexpr bool empty() const { return width == 0 || height == 0; }
  // One past the last column / row, saturating at 65535.
  std::uint16_t right() const;
  std::uint16_t bottom() const;
  // Shrunk by `margin` on every side; empty when nothing is left.
  Rect inner(std::uint16_t margin) const;
  // The overlap of two rectangles, empty when they do not meet.
  Rect intersection(const Rect& other) const;
  bool contains(std::uint16_t col, std::uint16_t row) const;

  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace sparvik::widgets
