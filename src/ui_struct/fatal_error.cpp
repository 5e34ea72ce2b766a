// Broken invariants of the application state go through the crash path: the terminal is
// restored and a crash report printed before the process aborts.
#include "ui_struct/fatal_error.hpp"

#include <source_location>

#include "platform/crash/crash.hpp"

namespace sparvik {

void fatal_error(std::string_view message, std::source_location where) {
  fatal(message, where);
}

}  // namespace sparvik
