#include <fmt/format.h>
#include <spdlog/logger.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <stop_token>
#include <thread>

#include "platform/io_error.hpp"
#include "platform/log/buffered_file_sink.hpp"
#include "platform/log/dispatch.hpp"
#include "platform/log/log.hpp"
#include "platform/log/log_file.hpp"

namespace sparvik::log {
namespace {

spdlog::level::level_enum to_spdlog(Level level) {
  switch (level) {
    case Level::Error:
      return spdlog::level::err;
    case Level::Warn:
      return spdlog::level::warn;
    case Level::Info:
      return spdlog::level::info;
    case Level::Debug:
      return spdlog::level::debug;
    case Level::Trace:
      return spdlog::level::trace;
  }
  return spdlog::level::trace;
}

class FileDestination final : public detail::Destination {
 public:
  explicit FileDestination(std::shared_ptr<spdlog::logger> logger) : logger_(std::move(logger)) {}

  void write(Level level, std::string_view, std::string_view module_path,
             std::string_view message) override {
    const std::string line = format_line(level, module_path, message);
    logger_->log(to_spdlog(level), spdlog::string_view_t(line.data(), line.size()));
  }

 private:
  std::shared_ptr<spdlog::logger> logger_;
};

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
  std::shared_ptr<detail::BufferedFileSink> sink;
  std::shared_ptr<spdlog::logger> logger;
  std::shared_ptr<FileDestination> destination;
  std::jthread flusher;

  ~State() {
    detail::uninstall(destination.get());
    if (flusher.joinable()) {
      flusher.request_stop();
      flusher.join();
    }
    logger->flush();
  }
};

Logger::Logger(std::unique_ptr<State> state) : state_(std::move(state)) {}
Logger::Logger(Logger&&) noexcept = default;
Logger& Logger::operator=(Logger&&) noexcept = default;
Logger::~Logger() = default;

std::string Logger::file_name() const {
  return state_ ? state_->sink->file_name() : std::string();
}

std::expected<Logger, LogError> start_file_logger(std::string_view filter_text,
                                                  std::string_view program_name,
                                                  std::string_view directory,
                                                  const FileLoggerOptions& options) {
  auto filter = Filter::parse(filter_text);
  if (!filter) return std::unexpected(filter.error());
  if (auto usable = check_directory(directory); !usable) return std::unexpected(usable.error());

  const std::tm started = local_time(options.start_time.value_or(std::chrono::system_clock::now()));
  const std::string base_path =
      (std::filesystem::path(directory) / detail::log_file_stem(program_name, started)).string();

  auto state = std::make_unique<Logger::State>();
  state->sink = std::make_shared<detail::BufferedFileSink>(base_path, options.buffer_size);
  state->logger = std::make_shared<spdlog::logger>("sparvik", state->sink);
  state->logger->set_level(spdlog::level::trace);  // admission is our filter's job
  state->logger->flush_on(spdlog::level::off);
  state->destination = std::make_shared<FileDestination>(state->logger);
  if (!detail::install(std::move(*filter), state->destination)) {
    state->destination.reset();  // never installed: nothing to uninstall
    return std::unexpected(LogError{"a logger is already running"});
  }

  state->flusher = std::jthread(
      [logger = state->logger, interval = options.flush_interval](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, stop, interval, [&] { return stop.stop_requested(); })) {
          logger->flush();
        }
      });
  return Logger(std::move(state));
}

}  // namespace sparvik::log
