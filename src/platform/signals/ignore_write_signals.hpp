// Writes past the file-size limit or into a pipe nobody reads must fail as errors the program
// reports, not end it: SIGXFSZ and SIGPIPE are ignored, and such writes fail with EFBIG or EPIPE.
#pragma once

#include <expected>

#include "platform/report.hpp"

namespace sparvik::signals {

// Ignores SIGXFSZ and SIGPIPE for the whole process. Called first of all in main, before any
// file or standard error is written.
std::expected<void, Report> ignore_write_signals();

}  // namespace sparvik::signals
