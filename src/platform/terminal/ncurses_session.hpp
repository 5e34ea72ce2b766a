// The process-wide curses session behind NcursesBackend: start, restore, and the
// async-signal-safe restore that the crash path runs.
#pragma once

#include <expected>

#include "platform/io_error.hpp"

namespace sparvik::term::detail {

// Starts curses on standard input and output; raw mode and the rest are the back end's part.
std::expected<void, IoError> open_session();

}  // namespace sparvik::term::detail
