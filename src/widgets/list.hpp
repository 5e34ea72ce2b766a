// A list of rows in an optional block, drawn with a selection state that the application owns.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "widgets/block.hpp"

namespace sparvik::widgets {

// Selected row and scroll offset. Navigation may leave the selection past the end; rendering pulls
// it back to the last row, clears it for an empty list and moves the offset to keep it visible.
struct ListState {
  std::optional<std::size_t> selected;
  std::size_t offset = 0;

  void select(std::optional<std::size_t> index) {
    selected = index;
    if (!index) offset = 0;
  }
  friend bool operator==(const ListState&, const ListState&) = default;
};

class List {
 public:
  explicit List(std::vector<Line> items) : items_(std::move(items)) {}

  List& block(Block block) {
    block_ = std::move(block);
    return *this;
  }
  List& style(Style style) {
    style_ = style;
    return *this;
  }
  List& highlight_style(Style style) {
    highlight_style_ = style;
    return *this;
  }

  const std::vector<Line>& items() const { return items_; }
  const std::optional<Block>& get_block() const { return block_; }
  const Style& get_style() const { return style_; }
  const Style& get_highlight_style() const { return highlight_style_; }

  void render(Rect area, Buffer& buf, ListState& state) const;

 private:
  std::vector<Line> items_;
  std::optional<Block> block_;
  Style style_;
  Style highlight_style_;
};

}  // namespace sparvik::widgets
