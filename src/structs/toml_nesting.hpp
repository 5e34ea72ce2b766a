// A cheap look at TOML text before it is parsed: how deep its tables and arrays could nest.
// The TOML library recurses once per level when it builds and frees a document, so text nesting
// deeper than a small limit is refused before it reaches the library.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace sparvik {

// Far above what the settings file needs (six keys at the top level), far below what could
// exhaust the stack.
inline constexpr std::size_t max_toml_nesting = 16;

struct TooDeep {
  std::size_t line;  // 1-based line where the limit was passed
};

// An upper bound of the nesting, counted outside strings and comments: the open brackets and
// braces, the dots of the table header and of the keys in force, and the dots of the value being
// read. Text that passes builds no tree deeper than about twice the limit (an array of tables
// adds an array level to each table level). Malformed text is not judged here beyond that; the
// parser rejects it.
std::optional<TooDeep> find_deep_nesting(std::string_view text,
                                         std::size_t limit = max_toml_nesting);

}  // namespace sparvik
