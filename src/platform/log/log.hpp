// The program's logging: records with a level, a target and a module path, admitted by a filter,
// written as "LEVEL [module::path] message\n" to a per-run file behind an 8 KiB block.
#pragma once

#include <fmt/format.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sparvik::log {

enum class Level : std::uint8_t { Error = 1, Warn, Info, Debug, Trace };

// "ERROR", "WARN", "INFO", "DEBUG", "TRACE".
const char* level_name(Level level) noexcept;

// Why logging could not start.
struct LogError {
  std::string message;
  std::string display() const { return message; }
  // LogError { message: "..." }
  std::string debug() const;
};

// A parsed filter text such as "info, my::critical::module=trace": comma-separated parts, each
// either a bare level name (error, warn, info, debug, trace, off; any case) setting the default,
// or "prefix=level", a directive for every target beginning with the prefix (longest prefix wins).
// Without a bare level the default is error.
class Filter {
 public:
  static std::expected<Filter, LogError> parse(std::string_view text);

  bool admits(Level level, std::string_view target) const noexcept;
  // The highest level any part of the filter lets through; none when every part is "off".
  std::optional<Level> max_level() const noexcept;

 private:
  // 0 is "off", otherwise the numeric value of the highest admitted Level.
  using Threshold = std::uint8_t;
  struct Directive {
    std::string prefix;
    Threshold threshold;
  };
  Threshold default_threshold_ = static_cast<Threshold>(Level::Error);
  std::vector<Directive> directives_;  // longest prefix first
};

// Where a record comes from: the target, which the filter matches, and the module path, which the
// line shows. Most records use one text for both.
struct Origin {
  Origin(std::string_view both) noexcept : target(both), module_path(both) {}
  Origin(const char* both) noexcept : Origin(std::string_view(both)) {}
  Origin(std::string_view of_target, std::string_view of_module) noexcept
      : target(of_target), module_path(of_module) {}

  std::string_view target;
  std::string_view module_path;
};

// One line of the log file, line feed included.
std::string format_line(Level level, std::string_view module_path, std::string_view message);

// True when a record of this level and target would be written by the installed logger. Records
// are formatted only after this says yes. False while nothing is installed. Takes no lock.
bool enabled(Level level, std::string_view target) noexcept;
// True when the installed filter lets this level through for at least one target: a lock-free
// first check for work that is worth skipping before the target is known.
bool level_enabled(Level level) noexcept;
// Writes the record if the installed filter admits it, under the one lock a record takes.
void write(Level level, Origin origin, std::string_view message);

// Tuning of the file logger; the program uses the defaults, tests shorten or fix them.
struct FileLoggerOptions {
  // Whole seconds, as spdlog's periodic worker counts them; zero never flushes before shutdown.
  std::chrono::seconds flush_interval{1};
  std::size_t buffer_size = 8192;
  // The run's start time that names the file; now when absent.
  std::optional<std::chrono::system_clock::time_point> start_time;
};

// The started file logger. Releasing it writes out what is buffered and shuts logging down.
class Logger {
 public:
  Logger(Logger&&) noexcept;
  Logger& operator=(Logger&&) noexcept;
  ~Logger();

  // The log file's path. The file is created by the first record; when another run of the same
  // second holds the name already, a suffix "_1", "_2", ... is added and this gives the name used.
  std::string file_name() const;

 private:
  struct State;
  explicit Logger(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
  friend std::expected<Logger, LogError> start_file_logger(std::string_view, std::string_view,
                                                           std::string_view,
                                                           const FileLoggerOptions&);
};

// Starts logging to "<stem of program>_<%Y-%m-%d_%H-%M-%S>.log" in `directory`, buffered in
// 8 KiB blocks and flushed by a background thread every second. Fails on an invalid filter, a
// directory that cannot hold the file, or when a logger (or a test capture) is already installed.
std::expected<Logger, LogError> start_file_logger(std::string_view filter_text,
                                                  std::string_view program_name,
                                                  std::string_view directory = ".",
                                                  const FileLoggerOptions& options = {});

namespace testing {
struct CapturedRecord {
  Level level;
  std::string target;
  std::string module_path;
  std::string message;
  friend bool operator==(const CapturedRecord&, const CapturedRecord&) = default;
};

class CaptureStore;

// While alive, records admitted by `filter_text` are kept in memory instead of going to a file,
// whichever thread writes them. Meant for tests; only one may exist at a time, and not beside a
// running Logger (that, or an invalid filter, throws std::logic_error).
class Capture {
 public:
  explicit Capture(std::string_view filter_text = "trace");
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  std::vector<CapturedRecord> records() const;
  // Records whose target is `target`, in order.
  std::vector<CapturedRecord> records_for(std::string_view target) const;
  void clear();
  // Called with each record as it is kept, on the thread that writes it and before that thread
  // goes on: it sees the program's state at the moment of the record. It must not log.
  void observe(std::function<void(const CapturedRecord&)> observer);

 private:
  std::shared_ptr<CaptureStore> store_;
};
}  // namespace testing

}  // namespace sparvik::log

// Writes one record; the message is formatted only when the record is admitted. `origin` is a
// target, which then is the module path too, or a log::Origin(target, module_path).
#define SPARVIK_LOG(level, origin, ...)                                                           \
  do {                                                                                            \
    if (::sparvik::log::enabled((level), ::sparvik::log::Origin(origin).target)) {                \
      ::sparvik::log::write((level), ::sparvik::log::Origin(origin), ::fmt::format(__VA_ARGS__)); \
    }                                                                                             \
  } while (0)
