// A cheap look at TOML text before it is parsed, refusing what could harm the parser:
// - nesting deeper than a small limit: the TOML library recurses once per level when it builds
//   and frees a document, so a long dotted key or deep brackets exhaust the stack;
// - a code point for which toml++ 3.3's whitespace test is undefined behaviour (e.g. U+00E9),
//   where the parser makes that test: outside strings and comments, and after a backslash in a
//   multi-line basic string (up to the first character that is not whitespace to the parser);
//   outside strings also U+0085, U+2028 and U+2029, which fail an assertion in an array.
// TOML allows non-ASCII text only inside strings and comments, and escapes are ASCII, so the only
// well-formed text refused is a line-ending backslash followed by such a code point.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace sparvik {

// Far above what the settings file needs (six keys at the top level), far below what could
// exhaust the stack.
inline constexpr std::size_t max_toml_nesting = 16;

struct TomlRefusal {
  std::size_t line;    // 1-based
  const char* reason;  // e.g. "tables or arrays nested too deep"
};

// The nesting is bounded from above, counted outside strings and comments: the open brackets and
// braces, the dots of the table header and of the keys in force, and the dots of the value being
// read. Text that passes builds no tree deeper than about twice the limit (an array of tables
// adds an array level to each table level). Malformed text is not judged beyond this; the parser
// rejects it.
std::optional<TomlRefusal> prescan_toml(std::string_view text,
                                        std::size_t nesting_limit = max_toml_nesting);

}  // namespace sparvik
