// The process-wide slot holding the one installed log destination and its filter.
#pragma once

#include <memory>
#include <string_view>

#include "platform/log/log.hpp"

namespace sparvik::log::detail {

// Where admitted records go. Called with the slot's lock held, so records arrive one at a time.
class Destination {
 public:
  virtual ~Destination() = default;
  virtual void write(Level level, std::string_view target, std::string_view module_path,
                     std::string_view message) = 0;
};

// Puts the destination in the slot; false when the slot is taken.
bool install(Filter filter, std::shared_ptr<Destination> destination);
// Empties the slot if it holds `destination`. No record reaches it once this has returned.
void uninstall(const Destination* destination) noexcept;

}  // namespace sparvik::log::detail
