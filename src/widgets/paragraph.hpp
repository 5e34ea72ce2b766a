// Lines of text in an optional block, not wrapped: cut at the right edge and at the bottom.
#pragma once

#include <optional>

#include "widgets/block.hpp"

namespace sparvik::widgets {

class Paragraph {
 public:
  explicit Paragraph(Text text) : text_(std::move(text)) {}

  Paragraph& block(Block block) {
    block_ = std::move(block);
    return *this;
  }
  Paragraph& style(Style style) {
    style_ = style;
    return *this;
  }
  Paragraph& alignment(Alignment alignment) {
    alignment_ = alignment;
    return *this;
  }

  void render(Rect area, Buffer& buf) const;

 private:
  Text text_;
  std::optional<Block> block_;
  Style style_;
  Alignment alignment_ = Alignment::Left;
};

}  // namespace sparvik::widgets
