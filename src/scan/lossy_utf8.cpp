#include "scan/lossy_utf8.hpp"

namespace sparvik::scan {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Number of continuation bytes a lead byte announces, with the allowed range of the first one
// (it excludes overlong forms, surrogates and code points above U+10FFFF); 0 for no valid lead.
struct Lead {
  int continuations;
  std::uint8_t low;
  std::uint8_t high;
};

Lead lead_of(std::uint8_t b) {
  if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
  if (b == 0xE0) return {2, 0xA0, 0xBF};
  if (b == 0xED) return {2, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
  if (b == 0xF0) return {3, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
  if (b == 0xF4) return {3, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::string utf8_lossy(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint8_t b = bytes[i];
    if (b < 0x80) {
      text.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    const Lead lead = lead_of(b);
    std::size_t valid = 1;  // bytes of the sequence seen to be well-formed so far
    bool complete = lead.continuations > 0;
    for (int k = 1; complete && k <= lead.continuations; ++k) {
      const std::size_t at = i + static_cast<std::size_t>(k);
      const std::uint8_t low = k == 1 ? lead.low : 0x80;
      const std::uint8_t high = k == 1 ? lead.high : 0xBF;
      if (at >= bytes.size() || bytes[at] < low || bytes[at] > high) {
        complete = false;
      } else {
        ++valid;
      }
    }
    if (complete) {
      text.append(reinterpret_cast<const char*>(bytes.data() + i), valid);
    } else {
      text += kReplacement;
    }
    i += valid;
  }
  return text;
}

}  // namespace sparvik::scan
