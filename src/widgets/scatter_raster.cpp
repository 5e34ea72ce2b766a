// Marking points in a cell bitmap, with SSE2 where the target has it, and the cache of a bitmap.
#include "widgets/scatter_raster.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sparvik::widgets {

std::optional<CellMapping> CellMapping::of(const Rect& graph, const std::array<double, 2>& x_bounds,
                                           const std::array<double, 2>& y_bounds) {
  const auto usable = [](const std::array<double, 2>& b) {
    const double span = b[1] - b[0];
    return span > 0.0 && std::isfinite(span);
  };
  if (graph.empty() || !usable(x_bounds) || !usable(y_bounds)) return std::nullopt;
  const std::size_t width = graph.width;
  const std::size_t height = graph.height;
  const CellMapping m{
      .x_low = x_bounds[0],
      .x_high = x_bounds[1],
      .y_low = y_bounds[0],
      .y_high = y_bounds[1],
      .x_scale = static_cast<double>(width - 1) / (x_bounds[1] - x_bounds[0]),
      .y_scale = static_cast<double>(height - 1) / (y_bounds[1] - y_bounds[0]),
      .bottom_row = (height - 1) * width,
      .width = width,
      .spare = width * height,
  };
  // A span too small for a finite scale (subnormal) cannot be drawn.
  if (!std::isfinite(m.x_scale) || !std::isfinite(m.y_scale)) return std::nullopt;
  return m;
}

// Both passes are branch-free, since sweeps put nearly every point inside. Points outside the
// bounds (NaN compares false everywhere) are clamped onto the bounds, which keeps every conversion
// defined, and then sent to the spare cell.
void mark_points_plain(std::span<const Point> points, const CellMapping& m, std::uint8_t* cells) {
  for (const auto& [x, y] : points) {
    double cx = x >= m.x_low ? x : m.x_low;
    cx = cx <= m.x_high ? cx : m.x_high;
    double cy = y >= m.y_low ? y : m.y_low;
    cy = cy <= m.y_high ? cy : m.y_high;
    const bool inside = (cx == x) & (cy == y);
    const auto col = static_cast<std::uint32_t>((cx - m.x_low) * m.x_scale + 0.5);
    const auto up = static_cast<std::uint32_t>((cy - m.y_low) * m.y_scale + 0.5);
    const std::size_t index = m.bottom_row - up * m.width + col;
    cells[std::min(inside ? index : m.spare, m.spare)] = 1;
  }
}

#if defined(__SSE2__)
void mark_points_sse2(std::span<const Point> points, const CellMapping& m, std::uint8_t* cells) {
  const __m128d low = _mm_set_pd(m.y_low, m.x_low);
  const __m128d high = _mm_set_pd(m.y_high, m.x_high);
  const __m128d scale = _mm_set_pd(m.y_scale, m.x_scale);
  const __m128d half = _mm_set1_pd(0.5);
  for (const auto& point : points) {
    static_assert(sizeof(point) == 2 * sizeof(double));
    const __m128d xy = _mm_loadu_pd(&point.first);
    const __m128d clamped = _mm_min_pd(_mm_max_pd(xy, low), high);  // max_pd(NaN, low) is low
    const bool inside = _mm_movemask_pd(_mm_cmpeq_pd(clamped, xy)) == 3;
    const __m128i cell =
        _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(clamped, low), scale), half));
    const auto col = static_cast<std::uint32_t>(_mm_cvtsi128_si32(cell));
    const auto up = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(cell, 1)));
    const std::size_t index = m.bottom_row - up * m.width + col;
    cells[std::min(inside ? index : m.spare, m.spare)] = 1;
  }
}
#endif

void mark_points(std::span<const Point> points, const CellMapping& m, std::uint8_t* cells) {
#if defined(__SSE2__)
  mark_points_sse2(points, m, cells);
#else
  mark_points_plain(points, m, cells);
#endif
}

ScatterCache::Key ScatterCache::key_of(std::span<const Point> points, const CellMapping& mapping) {
  Key key{.data = points.data(),
          .size = points.size(),
          .width = mapping.width,
          .cells = mapping.spare,
          .bounds = {mapping.x_low, mapping.x_high, mapping.y_low, mapping.y_high}};
  // The ends catch points rewritten in place there; short sets are covered whole.
  const std::size_t n = std::min(points.size(), key.head.size());
  std::copy_n(points.begin(), n, key.head.begin());
  std::copy_n(points.end() - static_cast<std::ptrdiff_t>(n), n, key.tail.begin());
  return key;
}

// Bitwise, so that NaN points compare equal to themselves.
bool ScatterCache::same(const Key& a, const Key& b) {
  const auto same_bits = [](double p, double q) {
    return std::bit_cast<std::uint64_t>(p) == std::bit_cast<std::uint64_t>(q);
  };
  if (a.data != b.data || a.size != b.size || a.width != b.width || a.cells != b.cells) {
    return false;
  }
  if (!std::equal(a.bounds.begin(), a.bounds.end(), b.bounds.begin(), same_bits)) return false;
  const auto same_point = [&](const Point& p, const Point& q) {
    return same_bits(p.first, q.first) && same_bits(p.second, q.second);
  };
  return std::equal(a.head.begin(), a.head.end(), b.head.begin(), same_point) &&
         std::equal(a.tail.begin(), a.tail.end(), b.tail.begin(), same_point);
}

std::span<const std::uint8_t> ScatterCache::marks(std::span<const Point> points,
                                                  const CellMapping& mapping) {
  const Key key = key_of(points, mapping);
  if (!key_ || !same(*key_, key)) {
    marks_.assign(mapping.spare + 1, 0);
    mark_points(points, mapping, marks_.data());
    key_ = key;
  }
  return marks_;
}

}  // namespace sparvik::widgets
