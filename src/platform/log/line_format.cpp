#include <spdlog/pattern_formatter.h>

#include <cstring>

#include "platform/log/record.hpp"

namespace sparvik::log {
namespace detail {
namespace {

// %* in the pattern: "ERROR", "WARN", "INFO", "DEBUG" or "TRACE" where spdlog's %l would give its
// own lower-case names ("warning", ...).
class LevelNameFlag final : public spdlog::custom_flag_formatter {
 public:
  void format(const spdlog::details::log_msg& msg, const std::tm&,
              spdlog::memory_buf_t& dest) override {
    const char* name = level_name(from_spdlog(msg.level));
    dest.append(name, name + std::strlen(name));
  }

  std::unique_ptr<custom_flag_formatter> clone() const override {
    return std::make_unique<LevelNameFlag>();
  }
};

}  // namespace

std::unique_ptr<spdlog::formatter> make_line_formatter() {
  auto formatter =
      std::make_unique<spdlog::pattern_formatter>(spdlog::pattern_time_type::local, "\n");
  formatter->add_flag<LevelNameFlag>('*');
  formatter->set_pattern("%* [%n] %v");
  return formatter;
}

}  // namespace detail

std::string format_line(Level level, std::string_view module_path, std::string_view message) {
  spdlog::memory_buf_t line;
  detail::make_line_formatter()->format(detail::Record(level, Origin(module_path), message), line);
  return fmt::to_string(line);
}

}  // namespace sparvik::log
