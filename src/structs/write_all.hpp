// Kept only until the settings file calls io::write_all itself; goes with that change.
#pragma once

#include <string_view>
#include <utility>

#include "platform/io/descriptor_io.hpp"

namespace sparvik {

template <class WriteOnce>
std::expected<void, IoError> write_all(std::string_view data, WriteOnce&& write_once) {
  return io::write_all_with(std::forward<WriteOnce>(write_once), data);
}

}  // namespace sparvik
