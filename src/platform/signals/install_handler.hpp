// Setting one signal's disposition, with a failure that names the signal.
#pragma once

#include <csignal>
#include <expected>
#include <string_view>

#include "platform/report.hpp"

namespace sparvik::signals {

// sigaction(2) for `number`; `name` ("SIGTERM") goes into the report when it fails.
std::expected<void, Report> install_handler(int number, std::string_view name,
                                            const struct sigaction& action);

}  // namespace sparvik::signals
