// Setting signals' dispositions, with a failure that names the signal.
#pragma once

#include <csignal>
#include <expected>
#include <string_view>

#include "platform/report.hpp"

namespace sparvik::signals {

// sigaction(2) for `number`; `name` ("SIGTERM") goes into the report when it fails.
std::expected<void, Report> install_handler(int number, std::string_view name,
                                            const struct sigaction& action);

// The same `action` for each signal of `table`, whose entries have a `number` and a `name`, in
// order; the first failure ends it.
template <class Table>
std::expected<void, Report> install_handlers(const Table& table, const struct sigaction& action) {
  for (const auto& entry : table) {
    if (auto installed = install_handler(entry.number, entry.name, action); !installed) {
      return installed;
    }
  }
  return {};
}

}  // namespace sparvik::signals
