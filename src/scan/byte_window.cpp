#include "scan/byte_window.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace sparvik::scan {

std::string byte_window(std::span<const std::uint8_t> bytes, std::int64_t first,
                        std::int64_t last) {
  const auto size = static_cast<std::int64_t>(bytes.size());
  first = std::max<std::int64_t>(first, 0);
  last = std::min<std::int64_t>(last, size - 1);
  std::string out = "[";
  for (std::int64_t i = first; i <= last; ++i) {
    if (i != first) out += ", ";
    fmt::format_to(std::back_inserter(out), "{}", bytes[static_cast<std::size_t>(i)]);
  }
  out += ']';
  return out;
}

}  // namespace sparvik::scan
