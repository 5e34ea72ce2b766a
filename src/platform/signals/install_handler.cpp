#include "platform/signals/install_handler.hpp"

#include <fmt/format.h>

#include "platform/io_error.hpp"

namespace sparvik::signals {

std::expected<void, Report> install_handler(int number, std::string_view name,
                                            const struct sigaction& action) {
  if (::sigaction(number, &action, nullptr) == 0) return {};
  return std::unexpected(Report(fmt::format("failed to install the {} handler", name),
                                {IoError::from_errno().display()}));
}

}  // namespace sparvik::signals
