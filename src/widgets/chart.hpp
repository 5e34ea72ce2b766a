// An x/y chart: two axes with bounds and labels, and scatter datasets drawn as dots.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "widgets/block.hpp"
#include "widgets/scatter_raster.hpp"

namespace sparvik::widgets {

struct Axis {
  std::array<double, 2> bounds{0.0, 0.0};
  std::vector<std::string> labels;  // spread evenly from the low bound to the high one
  Style style;
};

// Points are referred to, never copied: the caller keeps them alive while the chart draws.
// Points outside the axis bounds (NaN included) are not drawn, nor is a dataset when either axis
// has no positive, finite span (low bound at or above the high one).
struct Dataset {
  std::optional<std::string> name;  // no name: no legend
  std::span<const Point> data;
  Style style;
  // Kept by the caller across frames to skip marking the same points again; none: marked each time.
  ScatterCache* cache = nullptr;
};

// Where everything goes inside the chart's area; computed first, then drawn from.
struct ChartLayout {
  Rect graph;  // the plot area, right of the y axis and above the x axis
  std::optional<std::uint16_t> axis_x_row;     // row of the x axis line
  std::optional<std::uint16_t> axis_y_column;  // column of the y axis line
  std::optional<std::uint16_t> label_x_row;    // row of the x labels
  std::uint16_t label_y_width = 0;             // columns taken by the y labels
  friend bool operator==(const ChartLayout&, const ChartLayout&) = default;
};

class Chart {
 public:
  explicit Chart(std::vector<Dataset> datasets) : datasets_(std::move(datasets)) {}

  Chart& block(Block block) {
    block_ = std::move(block);
    return *this;
  }
  Chart& style(Style style) {
    style_ = style;
    return *this;
  }
  Chart& x_axis(Axis axis) {
    x_axis_ = std::move(axis);
    return *this;
  }
  Chart& y_axis(Axis axis) {
    y_axis_ = std::move(axis);
    return *this;
  }

  // The x axis line and labels appear only when the x axis has labels; the same for y.
  ChartLayout layout(Rect area) const;
  void render(Rect area, Buffer& buf) const;

 private:
  std::optional<Block> block_;
  Style style_;
  Axis x_axis_;
  Axis y_axis_;
  std::vector<Dataset> datasets_;
};

}  // namespace sparvik::widgets
