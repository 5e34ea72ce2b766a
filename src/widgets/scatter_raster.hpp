// The cells that scatter points hit in a graph: a bitmap with one byte per cell, filled by one
// pass over the points. Kept apart from the chart so that both the SSE2 pass and the plain one
// can be tested, and so that a caller can keep a bitmap across frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "widgets/core/rect.hpp"

namespace sparvik::widgets {

using Point = std::pair<double, double>;

// How points map onto the bitmap of one graph: index = bottom_row - up * width + col, with col and
// up rounded to the nearest cell, so the low bounds land on the first cell and the high on the
// last.
struct CellMapping {
  double x_low, x_high, y_low, y_high;
  double x_scale, y_scale;
  std::size_t bottom_row;  // index of the bottom row's first cell
  std::size_t width;
  std::size_t spare;  // one past the bitmap: where points outside the bounds go

  // None when either span is not positive and finite or too small for a finite scale.
  static std::optional<CellMapping> of(const Rect& graph, const std::array<double, 2>& x_bounds,
                                       const std::array<double, 2>& y_bounds);
};

// Sets cells[index] = 1 for every point inside the bounds; `cells` holds mapping.spare + 1 bytes.
// Both passes give the same bitmap; mark_points uses the fastest one the target has.
void mark_points_plain(std::span<const Point> points, const CellMapping& m, std::uint8_t* cells);
#if defined(__SSE2__)
void mark_points_sse2(std::span<const Point> points, const CellMapping& m, std::uint8_t* cells);
#endif
void mark_points(std::span<const Point> points, const CellMapping& m, std::uint8_t* cells);

// A bitmap kept across frames: marking a million points costs far more than the rest of a frame,
// and the points change once per sweep. It is marked anew whenever the points' storage, count or
// first and last few values, the graph's size or the bounds differ from the last time. Those few
// values lie in two cache lines: points spread over the whole set would each cost a cache and TLB
// miss on every idle frame. A caller that rewrites points in place elsewhere drops the cache.
class ScatterCache {
 public:
  // The bitmap of `points` (mapping.spare + 1 bytes, the last one spare).
  std::span<const std::uint8_t> marks(std::span<const Point> points, const CellMapping& mapping);

 private:
  struct Key {
    const Point* data = nullptr;
    std::size_t size = 0;
    std::size_t width = 0;
    std::size_t cells = 0;
    std::array<double, 4> bounds{};
    std::array<Point, 4> head{};
    std::array<Point, 4> tail{};
  };
  static Key key_of(std::span<const Point> points, const CellMapping& mapping);
  static bool same(const Key& a, const Key& b);

  std::optional<Key> key_;
  std::vector<std::uint8_t> marks_;
};

}  // namespace sparvik::widgets
