// The program from start-up to teardown: logging, crash hooks, the terminal, the serial ports and
// the restored settings, the run loop, and taking it all down again in reverse order.
#pragma once

#include <expected>
#include <string_view>

#include "structs/errors.hpp"

namespace sparvik {

// The filter of the run's log: info and above.
inline constexpr std::string_view log_filter = "info, my::critical::module=trace";

// Runs the whole program. `program_name` is argument 0; its file stem names the log file. Returns
// once the terminal is restored and logging is shut down.
std::expected<void, SparvikError> run_program(std::string_view program_name);

}  // namespace sparvik
