// How a record travels through spdlog to our sinks, and the one line layout spdlog writes.
#pragma once

#include <spdlog/details/log_msg.h>
#include <spdlog/formatter.h>

#include <memory>
#include <string_view>

#include "platform/log/log.hpp"

namespace sparvik::log::detail {

// Error..Trace are 1..5 here and err..trace 4..0 in spdlog.
constexpr spdlog::level::level_enum to_spdlog(Level level) noexcept {
  return static_cast<spdlog::level::level_enum>(5 - static_cast<int>(level));
}
constexpr Level from_spdlog(spdlog::level::level_enum level) noexcept {
  return static_cast<Level>(5 - static_cast<int>(level));
}
static_assert(to_spdlog(Level::Error) == spdlog::level::err);
static_assert(to_spdlog(Level::Warn) == spdlog::level::warn);
static_assert(to_spdlog(Level::Info) == spdlog::level::info);
static_assert(to_spdlog(Level::Debug) == spdlog::level::debug);
static_assert(to_spdlog(Level::Trace) == spdlog::level::trace);

// The module path travels as the record's logger name: spdlog's log_msg holds that as a
// string_view, so the path needs neither a copy nor a terminating NUL (the source location's file
// name would need both), and spdlog's own %n flag prints it. The target, which only the filter and
// the test capture look at, rides beside it. Every record our sinks see is made by
// RecordLogger::write, so a sink may take a log_msg for a Record.
struct Record : spdlog::details::log_msg {
  Record(Level record_level, Origin origin, std::string_view message)
      : log_msg(spdlog::source_loc{}, origin.module_path, to_spdlog(record_level), message),
        target(origin.target) {}

  std::string_view target;
};

// "LEVEL [module::path] message\n" as an spdlog pattern: our level names by a custom flag, the
// module path by %n, no time stamp.
std::unique_ptr<spdlog::formatter> make_line_formatter();

}  // namespace sparvik::log::detail
