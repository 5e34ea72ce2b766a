#include "platform/log/dispatch.hpp"

#include <atomic>
#include <forward_list>
#include <mutex>
#include <string>
#include <utility>

#include "platform/log/record.hpp"

namespace sparvik::log {
namespace {

// An spdlog logger taking our records: the module path as each record's logger name.
class RecordLogger final : public spdlog::logger {
 public:
  explicit RecordLogger(spdlog::sink_ptr sink) : logger(std::string("sparvik"), std::move(sink)) {}

  void write(Level level, Origin origin, std::string_view message) {
    log_it_(detail::Record(level, origin, message), true, false);
  }
};

// A filter and the logger behind it. The filter runs first, without a lock, on every record that
// passes the logger's level; what it admits is formatted, and takes the sink's lock.
struct Installation {
  Installation(Filter of_filter, spdlog::sink_ptr sink)
      : filter(std::move(of_filter)), sink_key(sink.get()), logger(std::move(sink)) {
    const auto max = filter.max_level();
    logger.set_level(max ? detail::to_spdlog(*max) : spdlog::level::off);
  }

  bool admits(Level level, std::string_view target) const noexcept {
    return logger.should_log(detail::to_spdlog(level)) && filter.admits(level, target);
  }

  const Filter filter;
  const spdlog::sinks::sink* const sink_key;
  RecordLogger logger;
};

struct Slot {
  std::mutex install_mutex;  // installing and uninstalling only, never a record
  // Every installation ever made. Records read the installed one without a lock and may still be
  // using it while another thread uninstalls it, so none is freed: there is one per run (and one
  // per capture in the tests), and its sink is closed when its owner goes.
  std::forward_list<Installation> kept;
  std::atomic<Installation*> installed{nullptr};
};

// Never destroyed: a detached thread may still log while the process ends.
Slot& slot() {
  static Slot* const instance = new Slot;
  return *instance;
}

}  // namespace

namespace detail {

spdlog::logger* install(Filter filter, spdlog::sink_ptr sink) {
  Slot& s = slot();
  std::lock_guard lock(s.install_mutex);
  if (s.installed.load(std::memory_order_relaxed) != nullptr) return nullptr;
  Installation& made = s.kept.emplace_front(std::move(filter), std::move(sink));
  s.installed.store(&made, std::memory_order_release);
  return &made.logger;
}

void uninstall(const spdlog::sinks::sink* sink) noexcept {
  Slot& s = slot();
  std::lock_guard lock(s.install_mutex);
  const Installation* current = s.installed.load(std::memory_order_relaxed);
  if (current != nullptr && current->sink_key == sink) {
    s.installed.store(nullptr, std::memory_order_release);
  }
}

}  // namespace detail

bool level_enabled(Level level) noexcept {
  const Installation* installed = slot().installed.load(std::memory_order_acquire);
  return installed != nullptr && installed->logger.should_log(detail::to_spdlog(level));
}

bool enabled(Level level, std::string_view target) noexcept {
  const Installation* installed = slot().installed.load(std::memory_order_acquire);
  return installed != nullptr && installed->admits(level, target);
}

void write(Level level, Origin origin, std::string_view message) {
  Installation* installed = slot().installed.load(std::memory_order_acquire);
  if (installed != nullptr && installed->admits(level, origin.target)) {
    installed->logger.write(level, origin, message);
  }
}

}  // namespace sparvik::log
