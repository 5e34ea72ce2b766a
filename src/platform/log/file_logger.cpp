// Starting and stopping the per-run file logger and its flusher thread.
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <stop_token>
#include <thread>

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
  std::shared_ptr<detail::LogFile> file;
  std::jthread flusher;

  // No record reaches the file once it is uninstalled and the flusher has stopped; the file
  // writes out what is buffered as it goes, after this body.
  ~State() {
    detail::uninstall(file.get());
    if (flusher.joinable()) {
      flusher.request_stop();
      flusher.join();
    }
  }
};

Logger::Logger(std::unique_ptr<State> state) : state_(std::move(state)) {}
Logger::Logger(Logger&&) noexcept = default;
Logger& Logger::operator=(Logger&&) noexcept = default;
Logger::~Logger() = default;

std::string Logger::file_name() const {
  if (!state_) return {};
  std::lock_guard lock(detail::record_mutex());
  return state_->file->path();
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
  state->file = std::make_shared<detail::LogFile>(
      std::filesystem::path(directory) / detail::log_file_name(program_name, started),
      options.buffer_size);
  if (!detail::install(std::move(*filter), state->file)) {
    state->file.reset();  // never installed: nothing to uninstall
    return std::unexpected(LogError{"a logger is already running"});
  }

  state->flusher =
      std::jthread([file = state->file, interval = options.flush_interval](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, stop, interval, [&] { return stop.stop_requested(); })) {
          std::lock_guard record_lock(detail::record_mutex());
          file->flush();
        }
      });
  return Logger(std::move(state));
}

}  // namespace sparvik::log
