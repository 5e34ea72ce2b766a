// Cell buffer storage, clipped writes and the text view used by tests.
#include "widgets/core/buffer.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "utf8/utf8.hpp"

namespace sparvik::widgets {

namespace {

// Keeps the area addressable with 16-bit coordinates: right() saturates at 65535.
Rect addressable(Rect area) {
  area.width = static_cast<std::uint16_t>(area.right() - area.x);
  area.height = static_cast<std::uint16_t>(area.bottom() - area.y);
  return area;
}

}  // namespace

Buffer::Buffer(Rect area) : area_(addressable(area)), cells_(area_.area()) {}

std::size_t Buffer::index_of(std::uint16_t x, std::uint16_t y) const {
  if (!area_.contains(x, y)) throw std::out_of_range("Buffer::at outside the buffer's area");
  return static_cast<std::size_t>(y - area_.y) * area_.width + (x - area_.x);
}

Cell& Buffer::at(std::uint16_t x, std::uint16_t y) {
  return cells_[index_of(x, y)];
}

const Cell& Buffer::at(std::uint16_t x, std::uint16_t y) const {
  return cells_[index_of(x, y)];
}

std::uint16_t Buffer::set_string(std::uint16_t x, std::uint16_t y, std::string_view text,
                                 const Style& style, std::uint16_t max_width) {
  if (y < area_.y || y >= area_.bottom()) return x;
  const std::uint32_t limit = std::min<std::uint32_t>(std::uint32_t{x} + max_width, area_.right());
  std::uint32_t col = x;
  Cell* row = cells_.data() + static_cast<std::size_t>(y - area_.y) * area_.width;
  for (std::size_t i = 0; i < text.size() && col < limit;) {
    const auto lead = static_cast<unsigned char>(text[i]);
    Symbol symbol;
    if (lead >= 0x20 && lead < 0x7F) {  // printable ASCII, nearly all text: no decoding
      symbol = Symbol::ascii(static_cast<char>(lead));
      ++i;
    } else {
      const utf8::Character ch = utf8::next_character(text, i);
      i += ch.consumed;
      if (!ch.printable) continue;
      symbol = ch.symbol;
    }
    if (col >= area_.x) {
      Cell& cell = row[col - area_.x];
      cell.symbol = symbol;
      cell.set_style(style);
    }
    ++col;
  }
  return static_cast<std::uint16_t>(col);
}

void Buffer::fill(const Rect& area, Symbol symbol, const Style& style) {
  const Rect clipped = area_.intersection(area);
  const std::uint32_t bottom = clipped.bottom();
  const std::uint32_t right = clipped.right();
  for (std::uint32_t y = clipped.y; y < bottom; ++y) {
    Cell* row = cells_.data() + static_cast<std::size_t>(y - area_.y) * area_.width;
    for (std::uint32_t x = clipped.x; x < right; ++x) {
      row[x - area_.x].symbol = symbol;
      row[x - area_.x].set_style(style);
    }
  }
}

void Buffer::set_style(const Rect& area, const Style& style) {
  const Rect clipped = area_.intersection(area);
  if (clipped.empty() || style == Style{}) return;
  const std::uint32_t bottom = clipped.bottom();
  const std::uint32_t right = clipped.right();
  for (std::uint32_t y = clipped.y; y < bottom; ++y) {
    Cell* row = cells_.data() + static_cast<std::size_t>(y - area_.y) * area_.width;
    for (std::uint32_t x = clipped.x; x < right; ++x) row[x - area_.x].set_style(style);
  }
}

void Buffer::reset() {
  // Blank cells copied in doubling blocks: a few memcpy calls for the whole frame.
  if (cells_.empty()) return;
  cells_[0] = Cell{};
  for (std::size_t done = 1; done < cells_.size();) {
    const std::size_t count = std::min(done, cells_.size() - done);
    std::memcpy(&cells_[done], &cells_[0], count * sizeof(Cell));
    done += count;
  }
}

void Buffer::resize(Rect area) {
  area_ = addressable(area);
  cells_.assign(area_.area(), Cell{});
}

std::vector<std::string> Buffer::lines() const {
  std::vector<std::string> out;
  out.reserve(area_.height);
  for (std::size_t row = 0; row < area_.height; ++row) {
    std::string line;
    line.reserve(area_.width);
    for (std::size_t col = 0; col < area_.width; ++col)
      line += cells_[row * area_.width + col].symbol.view();
    out.push_back(std::move(line));
  }
  return out;
}

std::string Buffer::to_text() const {
  std::string out;
  const auto rows = lines();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i != 0) out += '\n';
    out += rows[i];
  }
  return out;
}

}  // namespace sparvik::widgets
