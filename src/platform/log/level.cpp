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

std::string format_line(Level level, std::string_view module_path, std::string_view message) {
  const std::string_view name = level_name(level);
  std::string line;
  line.reserve(name.size() + module_path.size() + message.size() + 5);
  line.append(name).append(" [").append(module_path).append("] ").append(message).push_back('\n');
  return line;
}

std::string LogError::debug() const {
  return fmt::format("LogError {{ message: {} }}", debug_quote(message));
}

}  // namespace sparvik::log
