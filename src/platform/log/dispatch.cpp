#include "platform/log/dispatch.hpp"

#include <atomic>
#include <cstdint>
#include <forward_list>
#include <utility>

namespace sparvik::log {
namespace {

struct Slot {
  std::mutex mutex;
  const Filter* filter = nullptr;
  std::shared_ptr<detail::Destination> destination;
  // Every filter ever installed. enabled() reads the installed one without the lock and may still
  // be reading it while another thread uninstalls it, so none is ever freed: there is one per run
  // (and one per capture in the tests).
  std::forward_list<Filter> kept_filters;
};

Slot& slot() {
  static Slot instance;
  return instance;
}

// The installed filter for the lock-free admission check; null while nothing is installed.
std::atomic<const Filter*> admitting{nullptr};
// Highest admitted level of the installed filter, 0 while nothing is installed.
std::atomic<std::uint8_t> installed_max{0};

}  // namespace

namespace detail {

std::mutex& record_mutex() {
  return slot().mutex;
}

bool install(Filter filter, std::shared_ptr<Destination> destination) {
  Slot& s = slot();
  std::lock_guard lock(s.mutex);
  if (s.destination) return false;
  const auto max = filter.max_level();
  s.filter = &s.kept_filters.emplace_front(std::move(filter));
  s.destination = std::move(destination);
  admitting.store(s.filter, std::memory_order_release);
  installed_max.store(max ? static_cast<std::uint8_t>(*max) : 0, std::memory_order_release);
  return true;
}

void uninstall(const Destination* destination) noexcept {
  // Released after the lock: a file destination writes out its buffer when it goes.
  std::shared_ptr<Destination> released;
  {
    Slot& s = slot();
    std::lock_guard lock(s.mutex);
    if (s.destination.get() != destination) return;
    installed_max.store(0, std::memory_order_release);
    admitting.store(nullptr, std::memory_order_release);
    released = std::move(s.destination);
    s.filter = nullptr;
  }
}

}  // namespace detail

bool level_enabled(Level level) noexcept {
  return static_cast<std::uint8_t>(level) <= installed_max.load(std::memory_order_acquire);
}

bool enabled(Level level, std::string_view target) noexcept {
  const Filter* filter = admitting.load(std::memory_order_acquire);
  return filter != nullptr && filter->admits(level, target);
}

void write(Level level, Origin origin, std::string_view message) {
  if (!level_enabled(level)) return;
  Slot& s = slot();
  std::lock_guard lock(s.mutex);
  if (s.destination && s.filter->admits(level, origin.target)) {
    s.destination->write(level, origin.target, origin.module_path, message);
  }
}

}  // namespace sparvik::log
