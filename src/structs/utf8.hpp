// UTF-8 validity as text decoding demands it: no overlong forms, no surrogates, nothing past
// U+10FFFF, no truncated sequences.
#pragma once

#include <string_view>

namespace sparvik {

bool is_valid_utf8(std::string_view text) noexcept;

}  // namespace sparvik
