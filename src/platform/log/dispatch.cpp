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
  // The installed one first, then those uninstalled that a record may still be using.
  std::forward_list<Installation> made;
  std::atomic<Installation*> installed{nullptr};
  // Records between reading `installed` and their last use of what it pointed to.
  std::atomic<unsigned> readers{0};
};

// Never destroyed: a detached thread may still log while the process ends.
Slot& slot() {
  static Slot* const instance = new Slot;
  return *instance;
}

// The installed installation, if any, safe to use while this lives. Sequentially consistent: a
// reader that counts itself after an uninstall has been stored never reads what it removed.
class Reading {
 public:
  Reading() noexcept : slot_(slot()) {
    slot_.readers.fetch_add(1, std::memory_order_seq_cst);
    installation_ = slot_.installed.load(std::memory_order_seq_cst);
  }
  ~Reading() { slot_.readers.fetch_sub(1, std::memory_order_release); }
  Reading(const Reading&) = delete;
  Reading& operator=(const Reading&) = delete;

  Installation* get() const noexcept { return installation_; }

 private:
  Slot& slot_;
  Installation* installation_;
};

}  // namespace

namespace detail {

spdlog::logger* install(Filter filter, spdlog::sink_ptr sink) {
  Slot& s = slot();
  std::lock_guard lock(s.install_mutex);
  if (s.installed.load(std::memory_order_relaxed) != nullptr) return nullptr;
  // Nothing is installed, so with no reader counted none can reach an earlier installation: the
  // tests and the fuzzer install a capture per case, and must not keep them all.
  if (s.readers.load(std::memory_order_seq_cst) == 0) s.made.clear();
  Installation& made = s.made.emplace_front(std::move(filter), std::move(sink));
  s.installed.store(&made, std::memory_order_seq_cst);
  return &made.logger;
}

void uninstall(const spdlog::sinks::sink* sink) noexcept {
  Slot& s = slot();
  std::lock_guard lock(s.install_mutex);
  const Installation* current = s.installed.load(std::memory_order_relaxed);
  if (current != nullptr && current->sink_key == sink) {
    s.installed.store(nullptr, std::memory_order_seq_cst);
  }
}

}  // namespace detail

bool level_enabled(Level level) noexcept {
  const Reading reading;
  return reading.get() != nullptr && reading.get()->logger.should_log(detail::to_spdlog(level));
}

bool enabled(Level level, std::string_view target) noexcept {
  const Reading reading;
  return reading.get() != nullptr && reading.get()->admits(level, target);
}

void write(Level level, Origin origin, std::string_view message) {
  const Reading reading;
  if (reading.get() != nullptr && reading.get()->admits(level, origin.target)) {
    reading.get()->logger.write(level, origin, message);
  }
}

}  // namespace sparvik::log
