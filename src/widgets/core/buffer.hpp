// The cell buffer every widget renders into. The terminal back end compares two buffers and
// writes only the cells that changed; tests read a buffer back as text.
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "widgets/core/rect.hpp"
#include "widgets/core/style.hpp"
#include "widgets/core/symbol.hpp"

namespace sparvik::widgets {

struct Cell {
  Symbol symbol;  // one character of display width 1
  Color fg = Color::Reset;
  Color bg = Color::Reset;
  Modifier modifier = Modifier::None;

  void set_style(const Style& style) {
    if (style.fg) fg = *style.fg;
    if (style.bg) bg = *style.bg;
    modifier = modifier | style.add_modifier;
  }
  // One 64-bit comparison: frames are compared cell by cell on every pass of the loop.
  friend bool operator==(const Cell& a, const Cell& b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
  }
};
static_assert(sizeof(Cell) == 8 && std::has_unique_object_representations_v<Cell>);

class Buffer {
 public:
  explicit Buffer(Rect area);

  const Rect& area() const { return area_; }
  // All cells row by row from the top left: what the terminal back end diffs.
  std::span<const Cell> content() const { return cells_; }
  // Cells outside the area are ignored on writing; reading one outside is a programmer error
  // (throws std::out_of_range).
  Cell& at(std::uint16_t x, std::uint16_t y);
  const Cell& at(std::uint16_t x, std::uint16_t y) const;

  // Writes `text` from (x, y) rightwards, one cell per UTF-8 character, cut at `max_width` cells
  // and at the buffer's edge. Returns the column after the last cell written (x when none was).
  // Control characters take no cell (they would drive the terminal); malformed UTF-8 shows as
  // U+FFFD.
  std::uint16_t set_string(std::uint16_t x, std::uint16_t y, std::string_view text,
                           const Style& style, std::uint16_t max_width = UINT16_MAX);
  // One symbol at (x, y), ignored outside the area: borders and lines, without decoding text.
  void set_symbol(std::uint16_t x, std::uint16_t y, Symbol symbol, const Style& style) {
    if (!area_.contains(x, y)) return;
    Cell& cell = cells_[static_cast<std::size_t>(y - area_.y) * area_.width + (x - area_.x)];
    cell.symbol = symbol;
    cell.set_style(style);
  }
  // `symbol` with `style` patched on, in every cell of `area` within the buffer: lines and borders.
  void fill(const Rect& area, Symbol symbol, const Style& style);
  // Patches `style` onto every cell of `area` within the buffer.
  void set_style(const Rect& area, const Style& style);
  // Every cell back to a blank with default colours.
  void reset();
  // New area; every cell is blank afterwards.
  void resize(Rect area);

  // One line per row, symbols only, trailing blanks kept; rows joined with '\n'.
  std::string to_text() const;
  std::vector<std::string> lines() const;

 private:
  std::size_t index_of(std::uint16_t x, std::uint16_t y) const;

  Rect area_;
  std::vector<Cell> cells_;
};

}  // namespace sparvik::widgets
