#include "platform/log/dispatch.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

namespace sparvik::log {
namespace {

struct Slot {
  std::mutex mutex;
  std::optional<Filter> filter;
  std::shared_ptr<detail::Destination> destination;
};

Slot& slot() {
  static Slot instance;
  return instance;
}

// Highest admitted level of the installed filter, 0 while nothing is installed: lets the common
// "not admitted" answer go without taking the lock.
std::atomic<std::uint8_t> installed_max{0};

bool below_installed_max(Level level) noexcept {
  return static_cast<std::uint8_t>(level) <= installed_max.load(std::memory_order_acquire);
}

}  // namespace

namespace detail {

bool install(Filter filter, std::shared_ptr<Destination> destination) {
  Slot& s = slot();
  std::lock_guard lock(s.mutex);
  if (s.destination) return false;
  const auto max = filter.max_level();
  s.filter = std::move(filter);
  s.destination = std::move(destination);
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
    released = std::move(s.destination);
    s.filter.reset();
  }
}

}  // namespace detail

bool level_enabled(Level level) noexcept {
  return below_installed_max(level);
}

bool enabled(Level level, std::string_view target) noexcept {
  if (!below_installed_max(level)) return false;
  Slot& s = slot();
  std::lock_guard lock(s.mutex);
  return s.destination && s.filter->admits(level, target);
}

void write(Level level, std::string_view target, std::string_view module_path,
           std::string_view message) {
  if (!below_installed_max(level)) return;
  Slot& s = slot();
  std::lock_guard lock(s.mutex);
  if (s.destination && s.filter->admits(level, target)) {
    s.destination->write(level, target, module_path, message);
  }
}

}  // namespace sparvik::log
