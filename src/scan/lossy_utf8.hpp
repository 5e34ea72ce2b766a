// Bytes from the analyser as text: every invalid UTF-8 sequence becomes one U+FFFD.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sparvik::scan {

// Replaces each maximal invalid subpart (the Unicode "substitution of maximal subparts" rule) with
// U+FFFD; valid sequences are copied unchanged.
std::string utf8_lossy(std::span<const std::uint8_t> bytes);

}  // namespace sparvik::scan
