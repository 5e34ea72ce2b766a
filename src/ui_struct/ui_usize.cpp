// The bounded counter of the parameters screen.
#include <fmt/format.h>

#include <algorithm>
#include <limits>

#include "ui_struct/app_info.hpp"

namespace sparvik {

void UIUsize::change_value(bool decrease) {
  constexpr std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
  // Both directions saturate: a value restored from an edited settings file may sit next to
  // either end of the range, and wrapping would land it on the wrong side of the bounds.
  std::uint64_t next;
  if (decrease) {
    next = value > step ? value - step : 0;
  } else {
    next = value > top - step ? top : value + step;
  }
  value = std::min(std::max(next, min), max);
}

std::string UIUsize::int_to_string() const {
  return fmt::format("{}", value);
}

std::optional<std::uint64_t> UIUsize::mhz_to_usize() const {
  constexpr std::uint64_t hz_per_mhz = 1'000'000;
  if (value > std::numeric_limits<std::uint64_t>::max() / hz_per_mhz) return std::nullopt;
  return value * hz_per_mhz;
}

}  // namespace sparvik
