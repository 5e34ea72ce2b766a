#include "structs/utf8.hpp"

#include <cstddef>

namespace sparvik {

namespace {
bool in(unsigned char c, unsigned char low, unsigned char high) {
  return c >= low && c <= high;
}
}  // namespace

bool is_valid_utf8(std::string_view text) noexcept {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The second byte's range depends on the lead byte; that is what rules out overlong forms,
    // surrogates and code points past U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (in(lead, 0xC2, 0xDF)) {
      length = 2;
    } else if (lead == 0xE0) {
      length = 3;
      low = 0xA0;
    } else if (in(lead, 0xE1, 0xEC) || in(lead, 0xEE, 0xEF)) {
      length = 3;
    } else if (lead == 0xED) {
      length = 3;
      high = 0x9F;
    } else if (lead == 0xF0) {
      length = 4;
      low = 0x90;
    } else if (in(lead, 0xF1, 0xF3)) {
      length = 4;
    } else if (lead == 0xF4) {
      length = 4;
      high = 0x8F;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    if (!in(at(i + 1), low, high)) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (!in(at(i + k), 0x80, 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace sparvik
