// The one exit for broken invariants of the application state: they end the process at once.
#pragma once

#include <source_location>
#include <string_view>

namespace sparvik {

[[noreturn]] void fatal_error(std::string_view message,
                              std::source_location where = std::source_location::current());

}  // namespace sparvik
