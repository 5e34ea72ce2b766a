// A box: plain borders on all four sides, an optional title at the top left, and a style.
#pragma once

#include <optional>

#include "widgets/core/buffer.hpp"
#include "widgets/text.hpp"

namespace sparvik::widgets {

class Block {
 public:
  // Borders on all four sides, plain lines.
  static Block bordered() { return Block{}.borders(true); }

  Block& borders(bool all) {
    borders_ = all;
    return *this;
  }
  Block& title(Line title) {
    title_ = std::move(title);
    return *this;
  }
  Block& border_style(Style style) {
    border_style_ = style;
    return *this;
  }
  Block& style(Style style) {
    style_ = style;
    return *this;
  }

  // The area inside the borders; empty when nothing is left.
  Rect inner(Rect area) const;
  // Patches the block's style over the whole area, then draws borders and title.
  void render(Rect area, Buffer& buf) const;

  const std::optional<Line>& title_line() const { return title_; }
  bool has_borders() const { return borders_; }

 private:
  bool borders_ = false;
  std::optional<Line> title_;
  Style border_style_;
  Style style_;
};

// The area inside an optional block: all of `area` when there is none.
Rect inner_area(const std::optional<Block>& block, Rect area);
// What every widget draws under its content: its own style over `area`, then its block if it has
// one. Returns the area left for the content, as inner_area() gives it.
Rect render_backdrop(const std::optional<Block>& block, Style style, Rect area, Buffer& buf);

}  // namespace sparvik::widgets
