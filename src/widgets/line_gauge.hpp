// A one-row progress gauge: a label, then a thin line whose filled part shows the ratio.
#pragma once

#include <optional>

#include "widgets/block.hpp"

namespace sparvik::widgets {

class LineGauge {
 public:
  LineGauge& block(Block block) {
    block_ = std::move(block);
    return *this;
  }
  // Clamped to 0..1; NaN counts as 0.
  LineGauge& ratio(double ratio);
  LineGauge& label(Line label) {
    label_ = std::move(label);
    return *this;
  }
  LineGauge& style(Style style) {
    style_ = style;
    return *this;
  }
  LineGauge& filled_style(Style style) {
    filled_style_ = style;
    return *this;
  }
  LineGauge& unfilled_style(Style style) {
    unfilled_style_ = style;
    return *this;
  }

  double get_ratio() const { return ratio_; }
  const std::optional<Line>& get_label() const { return label_; }
  const Style& get_filled_style() const { return filled_style_; }
  const Style& get_unfilled_style() const { return unfilled_style_; }

  void render(Rect area, Buffer& buf) const;

 private:
  std::optional<Block> block_;
  double ratio_ = 0.0;
  std::optional<Line> label_;
  Style style_;
  Style filled_style_;
  Style unfilled_style_;
};

}  // namespace sparvik::widgets
