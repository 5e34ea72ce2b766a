// Chart: layout of axes and labels, then the scatter datasets through a per-cell bitmap.
#include "widgets/chart.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "widgets/draw_line.hpp"

namespace sparvik::widgets {

namespace {

constexpr std::string_view kDot = "•";

// Column at which label `i` of `n` is anchored, spread evenly over [left, left + width).
std::int64_t anchor(std::int64_t left, std::int64_t width, std::size_t i, std::size_t n) {
  if (n < 2 || width < 1) return left;
  return left + static_cast<std::int64_t>(i) * (width - 1) / static_cast<std::int64_t>(n - 1);
}

// Each x label gets the columns closer to its anchor than to its neighbours'; within them the
// first label starts at its anchor, the last ends at it and the others are centred on it.
void draw_x_labels(Buffer& buf, const Axis& axis, const Rect& graph, std::uint16_t row) {
  const std::size_t n = axis.labels.size();
  const std::int64_t left = graph.x;
  const std::int64_t width = graph.width;
  if (width == 0) return;
  auto boundary = [&](std::size_t i) {  // first column of slot i + 1
    const std::int64_t a = anchor(left, width, i, n);
    const std::int64_t b = anchor(left, width, i + 1, n);
    return a + (b - a + 1) / 2;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& label = axis.labels[i];
    const auto len = static_cast<std::int64_t>(display_width(label));
    const std::int64_t slot_start = i == 0 ? left : boundary(i - 1);
    const std::int64_t slot_end = i + 1 == n ? left + width : boundary(i);
    if (slot_end <= slot_start) continue;
    const std::int64_t a = anchor(left, width, i, n);
    std::int64_t start = a - len / 2;
    if (i == 0) start = a;
    if (i + 1 == n && n > 1) start = a + 1 - len;
    start = std::clamp(start, slot_start, std::max(slot_start, slot_end - len));
    buf.set_string(static_cast<std::uint16_t>(start), row, label, axis.style,
                   static_cast<std::uint16_t>(slot_end - start));
  }
}

// The first y label on the graph's bottom row, the last on its top row, the rest spread between.
void draw_y_labels(Buffer& buf, const Axis& axis, const Rect& graph, std::uint16_t column,
                   std::uint16_t width) {
  const std::size_t n = axis.labels.size();
  if (graph.height == 0 || width == 0) return;
  const std::int64_t bottom = graph.bottom() - 1;
  for (std::size_t i = 0; i < n; ++i) {
    const std::int64_t row = bottom - (anchor(0, graph.height, i, n));
    buf.set_string(column, static_cast<std::uint16_t>(row), axis.labels[i], axis.style, width);
  }
}

bool usable_span(const std::array<double, 2>& bounds) {
  const double span = bounds[1] - bounds[0];
  return span > 0.0 && std::isfinite(span);
}

// How points map onto the bitmap of one graph: index = bottom_row - up * width + col, with col and
// up rounded to the nearest cell, so the low bounds land on the first cell and the high on the
// last.
struct CellMapping {
  double x_low, x_high, y_low, y_high;
  double x_scale, y_scale;
  std::size_t bottom_row;  // index of the bottom row's first cell
  std::size_t width;
  std::size_t spare;  // one past the bitmap: where points outside the bounds go
};

// Marks the cell of every point; branch-free, since sweeps put nearly every point inside. Points
// outside the bounds (NaN compares false everywhere) are clamped onto the bounds, which keeps
// every conversion defined, and then sent to the spare cell.
void mark_points(std::span<const std::pair<double, double>> points, const CellMapping& m,
                 std::uint8_t* cells) {
#if defined(__SSE2__)
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
#else
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
#endif
}

// Marks every cell hit by a point, then writes one dot per marked cell.
void draw_scatter(Buffer& buf, const Dataset& dataset, const Rect& graph, const Axis& x_axis,
                  const Axis& y_axis, std::vector<std::uint8_t>& marks) {
  if (graph.empty() || !usable_span(x_axis.bounds) || !usable_span(y_axis.bounds)) return;
  const std::size_t width = graph.width;
  const std::size_t height = graph.height;
  const CellMapping mapping{
      .x_low = x_axis.bounds[0],
      .x_high = x_axis.bounds[1],
      .y_low = y_axis.bounds[0],
      .y_high = y_axis.bounds[1],
      .x_scale = static_cast<double>(width - 1) / (x_axis.bounds[1] - x_axis.bounds[0]),
      .y_scale = static_cast<double>(height - 1) / (y_axis.bounds[1] - y_axis.bounds[0]),
      .bottom_row = (height - 1) * width,
      .width = width,
      .spare = width * height,
  };
  // A span too small for a finite scale (subnormal) cannot be drawn.
  if (!std::isfinite(mapping.x_scale) || !std::isfinite(mapping.y_scale)) return;
  marks.assign(mapping.spare + 1, 0);
  std::uint8_t* const cells = marks.data();
  mark_points(dataset.data, mapping, cells);
  for (std::size_t row = 0; row < height; ++row) {
    const std::uint8_t* marked = cells + row * width;
    for (std::size_t col = 0; col < width; ++col) {
      if (marked[col] == 0) continue;
      Cell& cell = buf.at(static_cast<std::uint16_t>(graph.x + col),
                          static_cast<std::uint16_t>(graph.y + row));
      cell.symbol.assign(kDot);
      cell.set_style(dataset.style);
    }
  }
}

// A bordered box in the graph's top right corner naming each named dataset, when it fits.
void draw_legend(Buffer& buf, const std::vector<Dataset>& datasets, const Rect& graph,
                 const Style& chart_style) {
  std::size_t named = 0;
  std::size_t longest = 0;
  for (const Dataset& d : datasets) {
    if (!d.name) continue;
    ++named;
    longest = std::max(longest, display_width(*d.name));
  }
  if (named == 0) return;
  const std::size_t width = longest + 2;
  const std::size_t height = named + 2;
  if (width > graph.width || height > graph.height) return;
  const Rect box{static_cast<std::uint16_t>(graph.right() - width), graph.y,
                 static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)};
  for (std::uint32_t y = box.y; y < box.bottom(); ++y) {
    for (std::uint32_t x = box.x; x < box.right(); ++x) {
      Cell& cell = buf.at(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y));
      cell = Cell{};  // hide the dots underneath
      cell.set_style(chart_style);
    }
  }
  Block::bordered().render(box, buf);
  std::uint16_t row = static_cast<std::uint16_t>(box.y + 1);
  for (const Dataset& d : datasets) {
    if (!d.name) continue;
    buf.set_string(static_cast<std::uint16_t>(box.x + 1), row++, *d.name, d.style,
                   static_cast<std::uint16_t>(longest));
  }
}

}  // namespace

ChartLayout Chart::layout(Rect area) const {
  ChartLayout out;
  const Rect inner = inner_area(block_, area);
  if (inner.empty()) {
    out.graph = Rect{inner.x, inner.y, 0, 0};
    return out;
  }
  std::uint32_t left = inner.x;
  const std::uint32_t top = inner.y;
  const std::uint32_t right = inner.right();
  std::uint32_t bottom = inner.bottom();
  const bool x_labels = !x_axis_.labels.empty();
  const bool y_labels = !y_axis_.labels.empty();

  // Each of these keeps at least one row or column for the graph.
  if (x_labels && bottom - top >= 2) out.label_x_row = static_cast<std::uint16_t>(--bottom);
  if (x_labels && bottom - top >= 2) out.axis_x_row = static_cast<std::uint16_t>(--bottom);
  if (y_labels) {
    std::size_t widest = 0;
    for (const std::string& l : y_axis_.labels) widest = std::max(widest, display_width(l));
    if (widest < right - left) {
      out.label_y_width = static_cast<std::uint16_t>(widest);
      left += out.label_y_width;
    }
  }
  if (y_labels && right - left >= 2) out.axis_y_column = static_cast<std::uint16_t>(left++);
  out.graph =
      Rect{static_cast<std::uint16_t>(left), static_cast<std::uint16_t>(top),
           static_cast<std::uint16_t>(right - left), static_cast<std::uint16_t>(bottom - top)};
  return out;
}

void Chart::render(Rect area, Buffer& buf) const {
  area = area.intersection(buf.area());
  if (area.empty()) return;
  const Rect inner = render_backdrop(block_, style_, area, buf);
  const ChartLayout l = layout(area);
  const Rect& graph = l.graph;

  if (l.label_x_row) draw_x_labels(buf, x_axis_, graph, *l.label_x_row);
  if (l.label_y_width > 0) draw_y_labels(buf, y_axis_, graph, inner.x, l.label_y_width);
  if (l.axis_x_row) {
    for (std::uint32_t x = graph.x; x < graph.right(); ++x) {
      buf.set_string(static_cast<std::uint16_t>(x), *l.axis_x_row, "─", x_axis_.style);
    }
  }
  if (l.axis_y_column) {
    for (std::uint32_t y = graph.y; y < graph.bottom(); ++y) {
      buf.set_string(*l.axis_y_column, static_cast<std::uint16_t>(y), "│", y_axis_.style);
    }
  }
  if (l.axis_x_row && l.axis_y_column) {
    buf.set_string(*l.axis_y_column, *l.axis_x_row, "└", x_axis_.style);
  }

  std::vector<std::uint8_t> marks;
  for (const Dataset& d : datasets_) draw_scatter(buf, d, graph, x_axis_, y_axis_, marks);
  draw_legend(buf, datasets_, graph, style_);
}

}  // namespace sparvik::widgets
