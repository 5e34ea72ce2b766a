// Chart: layout of axes and labels, then the scatter datasets through a per-cell bitmap.
#include "widgets/chart.hpp"

#include <algorithm>
#include <cstdint>

#include "widgets/draw_line.hpp"

namespace sparvik::widgets {

namespace {

constexpr Symbol kDot("•");

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

// Marks every cell hit by a point, then writes one dot per marked cell.
void draw_scatter(Buffer& buf, const Dataset& dataset, const Rect& graph, const Axis& x_axis,
                  const Axis& y_axis, std::vector<std::uint8_t>& scratch) {
  const std::optional<CellMapping> mapping = CellMapping::of(graph, x_axis.bounds, y_axis.bounds);
  if (!mapping) return;
  std::span<const std::uint8_t> marks;
  if (dataset.cache != nullptr) {
    marks = dataset.cache->marks(dataset.data, *mapping);
  } else {
    scratch.assign(mapping->spare + 1, 0);
    mark_points(dataset.data, *mapping, scratch.data());
    marks = scratch;
  }
  // The graph lies within the buffer, so each of its rows is a run of adjacent cells.
  for (std::size_t row = 0; row < graph.height; ++row) {
    const std::uint8_t* marked = marks.data() + row * graph.width;
    Cell* cells = &buf.at(graph.x, static_cast<std::uint16_t>(graph.y + row));
    for (std::size_t col = 0; col < graph.width; ++col) {
      if (marked[col] == 0) continue;
      cells[col].symbol = kDot;
      cells[col].set_style(dataset.style);
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
    buf.fill(Rect{graph.x, *l.axis_x_row, graph.width, 1}, Symbol("─"), x_axis_.style);
  }
  if (l.axis_y_column) {
    buf.fill(Rect{*l.axis_y_column, graph.y, 1, graph.height}, Symbol("│"), y_axis_.style);
  }
  if (l.axis_x_row && l.axis_y_column) {
    buf.set_symbol(*l.axis_y_column, *l.axis_x_row, Symbol("└"), x_axis_.style);
  }

  std::vector<std::uint8_t> scratch;
  for (const Dataset& d : datasets_) draw_scatter(buf, d, graph, x_axis_, y_axis_, scratch);
  draw_legend(buf, datasets_, graph, style_);
}

}  // namespace sparvik::widgets
