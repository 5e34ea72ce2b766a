// A few reply bytes around a position, for the decoder's diagnostic log records: "[1, 2, 3]".
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sparvik::scan {

// Bytes at positions `first` to `last` (both included), cut to the positions that exist;
// "[]" when none does.
std::string byte_window(std::span<const std::uint8_t> bytes, std::int64_t first, std::int64_t last);

}  // namespace sparvik::scan
