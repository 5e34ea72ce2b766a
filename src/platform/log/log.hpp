// The program's logging front end: records with a level, a target and a module path, admitted by
// a filter, written as "LEVEL [module::path] message\n" to a per-run file through spdlog.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

namespace sparvik::log {

enum class Level : std::uint8_t { Error = 1, Warn, Info, Debug, Trace };

// "ERROR", "WARN", "INFO", "DEBUG", "TRACE".
const char* level_name(Level level) noexcept;

// Why logging could not start.
struct LogError {
  std::string message;
  std::string display() const { return message; }
  std::string debug() const;
};

// A parsed filter text such as "info, my::critical::module=trace": a default level, then
// directives "target=level" that apply to every target beginning with the given prefix.
class Filter {
 public:
  static std::expected<Filter, LogError> parse(std::string_view spec);

  bool admits(Level level, std::string_view target) const noexcept;
  // The highest level any part of the filter lets through.
  Level max_level() const noexcept;

 private:
  struct Directive {
    std::string prefix;
    Level level;
  };
  Level default_level_ = Level::Error;
  std::vector<Directive> directives_;  // longest prefix first
};

// One line of the log file, line feed included.
std::string format_line(Level level, std::string_view module_path, std::string_view message);

// True when a record of this level and target would be written by the installed logger. Records
// are formatted only after this says yes.
bool enabled(Level level, std::string_view target) noexcept;
void write(Level level, std::string_view target, std::string_view module_path,
           std::string_view message);

// The started file logger. Releasing it writes out what is buffered and shuts logging down.
class Logger {
 public:
  Logger(Logger&&) noexcept;
  Logger& operator=(Logger&&) noexcept;
  ~Logger();

  const std::string& file_name() const noexcept;

 private:
  struct State;
  explicit Logger(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
  friend std::expected<Logger, LogError> start_file_logger(std::string_view, std::string_view,
                                                           std::string_view);
};

// Starts logging to "<stem of program>_<%Y-%m-%d_%H-%M-%S>.log" in `directory`, buffered in
// 8 KiB and flushed by a background thread every second. Fails if a logger is already running.
std::expected<Logger, LogError> start_file_logger(std::string_view filter_spec,
                                                  std::string_view program_name,
                                                  std::string_view directory = ".");

namespace testing {
struct CapturedRecord {
  Level level;
  std::string target;
  std::string module_path;
  std::string message;
  friend bool operator==(const CapturedRecord&, const CapturedRecord&) = default;
};

// While alive, records admitted by `filter_spec` are kept in memory instead of going to a file.
// Meant for tests; only one may exist at a time, and not beside a running Logger.
class Capture {
 public:
  explicit Capture(std::string_view filter_spec = "trace");
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  std::vector<CapturedRecord> records() const;
  // Records whose target is `target`, in order.
  std::vector<CapturedRecord> records_for(std::string_view target) const;
  void clear();
};
}  // namespace testing

}  // namespace sparvik::log

// Writes one record; the message is formatted only when the record is admitted.
#define SPARVIK_LOG(level, target, module_path, ...)                                     \
  do {                                                                                     \
    if (::sparvik::log::enabled((level), (target))) {                                      \
      ::sparvik::log::write((level), (target), (module_path), ::fmt::format(__VA_ARGS__)); \
    }                                                                                      \
  } while (0)
