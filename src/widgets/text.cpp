// Widths and line splitting of styled text.
#include "widgets/text.hpp"

#include "utf8/utf8.hpp"

namespace sparvik::widgets {

std::size_t display_width(std::string_view text) {
  return utf8::cell_width(text);
}

std::size_t Line::width() const {
  std::size_t w = 0;
  for (const Span& s : spans) w += display_width(s.content);
  return w;
}

Text::Text(std::string_view text, Style style) {
  // Like splitting into lines: "\r\n" ends a line too, and a final line break adds no empty line.
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const bool last = end == std::string_view::npos;
    if (last) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line, style);
    if (last) break;
    start = end + 1;
  }
}

}  // namespace sparvik::widgets
