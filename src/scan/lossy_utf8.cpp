#include "scan/lossy_utf8.hpp"

#include <string_view>

#include "utf8/utf8.hpp"

namespace sparvik::scan {

std::string utf8_lossy(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const utf8::Step step = utf8::step_at(text, i);
    if (step.valid) {
      out.append(text.substr(i, step.length));
    } else {
      out += "\xEF\xBF\xBD";  // U+FFFD for the malformed part
    }
    i += step.length;
  }
  return out;
}

}  // namespace sparvik::scan
