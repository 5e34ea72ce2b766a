#include <fmt/format.h>

#include "platform/io_error.hpp"
#include "platform/log/log.hpp"

namespace sparvik::log {

const char* level_name(Level level) noexcept {
  switch (level) {
    case Level::Error:
      return "ERROR";
    case Level::Warn:
      return "WARN";
    case Level::Info:
      return "INFO";
    case Level::Debug:
      return "DEBUG";
    case Level::Trace:
      return "TRACE";
  }
  return "TRACE";
}

std::string LogError::debug() const {
  return fmt::format("LogError {{ message: {} }}", debug_quote(message));
}

}  // namespace sparvik::log
