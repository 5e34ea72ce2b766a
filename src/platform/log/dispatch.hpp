// The process-wide slot holding the one installed log destination and its filter.
#pragma once

#include <memory>
#include <mutex>
#include <string_view>

#include "platform/log/log.hpp"

namespace sparvik::log::detail {

// Where admitted records go. Every call is made with record_mutex() held, so a destination keeps
// no lock of its own.
class Destination {
 public:
  virtual ~Destination() = default;
  virtual void write(Level level, std::string_view target, std::string_view module_path,
                     std::string_view message) = 0;
};

// The one lock a record takes. Whoever else touches a destination's state (a flusher, a reader of
// captured records) takes it too.
std::mutex& record_mutex();

// Puts the destination in the slot; false when the slot is taken.
bool install(Filter filter, std::shared_ptr<Destination> destination);
// Empties the slot if it holds `destination`. No record reaches it once this has returned.
void uninstall(const Destination* destination) noexcept;

}  // namespace sparvik::log::detail
