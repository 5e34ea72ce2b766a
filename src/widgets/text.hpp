// Styled text: spans make a line, lines make a text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "widgets/core/style.hpp"

namespace sparvik::widgets {

enum class Alignment : std::uint8_t { Left, Center };

struct Span {
  std::string content;
  Style style;
};

struct Line {
  std::vector<Span> spans;
  Line() = default;
  Line(std::string_view text, Style style = {}) : Line(std::string(text), style) {}  // NOLINT
  // Takes the string over: a line built each frame from formatted text copies nothing. (A braced
  // list of spans would copy the string once more.)
  Line(std::string&& text, Style style = {}) {  // NOLINT
    spans.push_back(Span{std::move(text), style});
  }
  // So that string literals and strings convert in one step (e.g. Block::title("Status")).
  Line(const char* text, Style style = {}) : Line(std::string_view(text), style) {}  // NOLINT
  Line(const std::string& text, Style style = {})
      : Line(std::string_view(text), style) {}  // NOLINT
  // Display width in cells (one per UTF-8 character).
  std::size_t width() const;
};

struct Text {
  std::vector<Line> lines;
  Text() = default;
  // Splits on '\n'; every line gets `style`.
  Text(std::string_view text, Style style = {});  // NOLINT(google-explicit-constructor)
  Text(const char* text, Style style = {}) : Text(std::string_view(text), style) {}  // NOLINT
  Text(const std::string& text, Style style = {})
      : Text(std::string_view(text), style) {}        // NOLINT
  Text(std::vector<Line> l) : lines(std::move(l)) {}  // NOLINT
};

// Number of UTF-8 characters in `text`: the display width the widgets assume.
std::size_t display_width(std::string_view text);

}  // namespace sparvik::widgets
