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
  constexpr std::uint16_t right() const { return saturating_add(x, width); }
  constexpr std::uint16_t bottom() const { return saturating_add(y, height); }
  // Shrunk by `margin` on every side; empty when nothing is left.
  Rect inner(std::uint16_t margin) const;
  // The overlap of two rectangles, empty when they do not meet.
  Rect intersection(const Rect& other) const;
  constexpr bool contains(std::uint16_t col, std::uint16_t row) const {
    return col >= x && col < right() && row >= y && row < bottom();
  }

  friend constexpr bool operator==(const Rect&, const Rect&) = default;

 private:
  static constexpr std::uint16_t saturating_add(std::uint16_t a, std::uint32_t b) {
    const std::uint32_t sum = std::uint32_t{a} + b;
    return static_cast<std::uint16_t>(sum < UINT16_MAX ? sum : UINT16_MAX);
  }
};

}  // namespace sparvik::widgets
