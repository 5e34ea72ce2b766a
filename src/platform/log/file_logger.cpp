// Starting and stopping the per-run file logger and spdlog's flusher thread.
#include <fmt/format.h>
#include <spdlog/common.h>
#include <spdlog/details/periodic_worker.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <optional>

#include "platform/io_error.hpp"
#include "platform/log/dispatch.hpp"
#include "platform/log/log.hpp"
#include "platform/log/log_file.hpp"

namespace sparvik::log {
namespace {

std::expected<void, LogError> check_directory(std::string_view directory) {
  const std::string path(directory);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return std::unexpected(LogError{
        fmt::format("cannot use log directory \"{}\": {}", path, IoError::from_errno().display())});
  }
  if (!S_ISDIR(info.st_mode)) {
    return std::unexpected(
        LogError{fmt::format("cannot use log directory \"{}\": not a directory", path)});
  }
  if (::access(path.c_str(), W_OK | X_OK) != 0) {
    return std::unexpected(LogError{
        fmt::format("cannot use log directory \"{}\": {}", path, IoError::from_errno().display())});
  }
  return {};
}

std::tm local_time(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm result{};
  localtime_r(&seconds, &result);
  return result;
}

}  // namespace

struct Logger::State {
  std::shared_ptr<detail::LogFileSink> sink;
  // spdlog's own flusher rather than spdlog::flush_every: that one would flush every logger in
  // spdlog's registry, its default console logger included, and lives on after this logger.
  std::optional<spdlog::details::periodic_worker> flusher;

  // The flusher stops, no record passes the filter any more, and the file is written out and
  // closed: the flush at shutdown.
  ~State() {
    flusher.reset();
    detail::uninstall(sink.get());
    sink->close();
  }
};

Logger::Logger(std::unique_ptr<State> state) : state_(std::move(state)) {}
Logger::Logger(Logger&&) noexcept = default;
Logger& Logger::operator=(Logger&&) noexcept = default;
Logger::~Logger() = default;

std::string Logger::file_name() const {
  if (!state_) return {};
  return state_->sink->path();
}

std::expected<Logger, LogError> start_file_logger(std::string_view filter_text,
                                                  std::string_view program_name,
                                                  std::string_view directory,
                                                  const FileLoggerOptions& options) {
  auto filter = Filter::parse(filter_text);
  if (!filter) return std::unexpected(filter.error());
  if (auto usable = check_directory(directory); !usable) return std::unexpected(usable.error());

  const std::tm started = local_time(options.start_time.value_or(std::chrono::system_clock::now()));
  auto state = std::make_unique<Logger::State>();
  state->sink = std::make_shared<detail::LogFileSink>(
      std::filesystem::path(directory) / detail::log_file_name(program_name, started),
      options.buffer_size);
  // Not installed: the state's end leaves the slot alone and closes a sink that holds no file.
  spdlog::logger* logger = detail::install(std::move(*filter), state->sink);
  if (logger == nullptr) return std::unexpected(LogError{"a logger is already running"});
  state->flusher.emplace([logger] { logger->flush(); }, options.flush_interval);
  return Logger(std::move(state));
}

}  // namespace sparvik::log
