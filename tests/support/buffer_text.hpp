// Golden-text checks for rendered buffers: compare a buffer's rows with expected lines and, on a
// mismatch, print every row side by side with the first differing column marked.
//
//   EXPECT_BUFFER_LINES(buf, {"┌ Title ─┐",
//                             "│ item   │",
//                             "└────────┘"});
//   EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::Yellow; },
//                      {"..####..", ...});   // '#' where the predicate holds
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "utf8/utf8.hpp"
#include "widgets/core/buffer.hpp"

namespace sparvik::test_support {

// Cells in a UTF-8 line, as the buffer lays it out.
inline std::size_t cell_count(std::string_view text) {
  return utf8::cell_width(text);
}

// Splits a UTF-8 line into its characters, one string each.
inline std::vector<std::string> cells_of(std::string_view text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size();) {
    const utf8::Character ch = utf8::next_character(text, i);
    out.emplace_back(text.substr(i, ch.consumed));
    i += ch.consumed;
  }
  return out;
}

// A buffer at the origin as wide as the longest line and as high as the list, lines written from
// the left with the default style (shorter lines are padded with blanks).
inline widgets::Buffer buffer_from_lines(const std::vector<std::string>& lines) {
  std::size_t width = 0;
  for (const auto& l : lines) width = std::max(width, cell_count(l));
  widgets::Buffer buf(widgets::Rect{0, 0, static_cast<std::uint16_t>(width),
                                    static_cast<std::uint16_t>(lines.size())});
  for (std::size_t row = 0; row < lines.size(); ++row) {
    buf.set_string(0, static_cast<std::uint16_t>(row), lines[row], widgets::Style{});
  }
  return buf;
}

// Predicate-format comparison of two row lists; the message shows every row, marks the rows that
// differ and points at the first differing cell in each.
inline ::testing::AssertionResult lines_equal(const char* actual_expr, const char* expected_expr,
                                              const std::vector<std::string>& actual,
                                              const std::vector<std::string>& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::ostringstream out;
  auto width_of = [](const std::vector<std::string>& ls) {
    std::size_t w = 0;
    for (const auto& l : ls) w = std::max(w, cell_count(l));
    return w;
  };
  out << actual_expr << " differs from " << expected_expr << "\n  actual " << width_of(actual)
      << "x" << actual.size() << " cells, expected " << width_of(expected) << "x" << expected.size()
      << " cells (' ' same row, '!' row differs)\n";
  const std::size_t rows = std::max(actual.size(), expected.size());
  for (std::size_t row = 0; row < rows; ++row) {
    const bool has_a = row < actual.size();
    const bool has_e = row < expected.size();
    const std::string a = has_a ? actual[row] : std::string{};
    const std::string e = has_e ? expected[row] : std::string{};
    if (has_a && has_e && a == e) {
      out << "    " << row << "  |" << a << "|\n";
      continue;
    }
    out << "  ! " << row << " expected |" << (has_e ? e : "<no row>") << "|\n";
    out << "  ! " << row << " actual   |" << (has_a ? a : "<no row>") << "|\n";
    if (has_a && has_e) {
      const auto ca = cells_of(a);
      const auto ce = cells_of(e);
      std::size_t col = 0;
      while (col < ca.size() && col < ce.size() && ca[col] == ce[col]) ++col;
      out << "         first difference at column " << col;
      if (ca.size() != ce.size()) out << " (row widths " << ca.size() << " vs " << ce.size() << ")";
      out << "\n";
    }
  }
  return ::testing::AssertionFailure() << out.str();
}

inline ::testing::AssertionResult buffer_lines_equal(const char* buf_expr,
                                                     const char* expected_expr,
                                                     const widgets::Buffer& buf,
                                                     const std::vector<std::string>& expected) {
  return lines_equal(buf_expr, expected_expr, buf.lines(), expected);
}

// One row of '#' (predicate holds) and '.' per buffer row: styles checked through golden text.
template <class Predicate>
std::vector<std::string> mask_lines(const widgets::Buffer& buf, Predicate&& pred) {
  const widgets::Rect a = buf.area();
  std::vector<std::string> out;
  out.reserve(a.height);
  for (std::uint32_t y = a.y; y < std::uint32_t{a.y} + a.height; ++y) {
    std::string row;
    row.reserve(a.width);
    for (std::uint32_t x = a.x; x < std::uint32_t{a.x} + a.width; ++x) {
      row += pred(buf.at(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y))) ? '#' : '.';
    }
    out.push_back(std::move(row));
  }
  return out;
}

}  // namespace sparvik::test_support

// The expected rows go in braces; commas inside them are fine.
#define EXPECT_BUFFER_LINES(buf, ...)                                   \
  EXPECT_PRED_FORMAT2(::sparvik::test_support::buffer_lines_equal, buf, \
                      (std::vector<std::string>(__VA_ARGS__)))
#define ASSERT_BUFFER_LINES(buf, ...)                                   \
  ASSERT_PRED_FORMAT2(::sparvik::test_support::buffer_lines_equal, buf, \
                      (std::vector<std::string>(__VA_ARGS__)))
#define EXPECT_BUFFER_MASK(buf, pred, ...)                            \
  EXPECT_PRED_FORMAT2(::sparvik::test_support::lines_equal,           \
                      ::sparvik::test_support::mask_lines(buf, pred), \
                      (std::vector<std::string>(__VA_ARGS__)))
