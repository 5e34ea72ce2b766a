// Accessors of the shared record (each logs first, then touches one cell) and its debug forms.
#include "structs/connection_info.hpp"

#include <fmt/format.h>

#include "platform/log/log.hpp"
#include "structs/debug_tree.hpp"

namespace sparvik {

namespace {

constexpr std::string_view log_target = "sparvik::structs";

// The cell as a mutex prints itself. The value is copied under the lock and formatted after, so
// the lock is held for the copy alone; a cell held elsewhere shows as "<locked>".
template <class T, class ToNode>
DebugNode mutex_node(const SharedCell<T>& cell, ToNode to_node) {
  std::optional<T> copy;
  cell.try_with([&](const T& value) { copy = value; });
  return DebugNode::record("Mutex",
                           {{"data", copy ? to_node(*copy) : DebugNode::leaf("<locked>")},
                            {"poisoned", DebugNode::leaf("false")}},
                           /*non_exhaustive=*/true);
}

DebugNode number_node(std::uint64_t value) {
  return DebugNode::leaf(fmt::format("{}", value));
}
DebugNode text_node(const std::string& text) {
  return DebugNode::leaf(debug_quote(text));
}

DebugNode points_node(const std::optional<SweepPoints>& points) {
  if (!points) return DebugNode::leaf("None");
  std::vector<DebugNode> items;
  items.reserve(points->size());
  for (const auto& [mhz, dbm] : *points) {
    items.push_back(DebugNode::leaf(fmt::format("({}, {})", debug_float(mhz), debug_float(dbm))));
  }
  return DebugNode::wrapper("Some", DebugNode::list(std::move(items)));
}

DebugNode error_node(const std::optional<SparvikUIError>& error) {
  if (!error) return DebugNode::leaf("None");
  return DebugNode::wrapper("Some", DebugNode::leaf(error->debug()));
}

DebugNode record_node(const ConnectionInfo& info) {
  return DebugNode::record(
      "ConnectionInfo",
      {
          {"points", number_node(info.points)},
          {"baudrate", number_node(info.baudrate)},
          {"port", text_node(info.port)},
          {"progress", mutex_node(info.progress, number_node)},
          {"repeat", number_node(info.repeat)},
          {"return_data", mutex_node(info.return_data, points_node)},
          {"scan_info", mutex_node(info.scan_info, text_node)},
          {"scan_message", mutex_node(info.scan_message, text_node)},
          {"start", number_node(info.start)},
          {"stop", number_node(info.stop)},
          {"file_name", mutex_node(info.file_name, text_node)},
          {"connection_status",
           mutex_node(info.connection_status,
                      [](ConnectionStatus s) { return DebugNode::leaf(debug_name(s)); })},
          {"error_raised", mutex_node(info.error_raised, error_node)},
      });
}

}  // namespace

const char* debug_name(ConnectionStatus status) noexcept {
  switch (status) {
    case ConnectionStatus::Uninitialised:
      return "Uninitialised";
    case ConnectionStatus::Initialised:
      return "Initialised";
    case ConnectionStatus::Connected:
      return "Connected";
    case ConnectionStatus::ConnectionFailure:
      return "ConnectionFailure";
    case ConnectionStatus::ClosedWithSuccess:
      return "ClosedWithSuccess";
    case ConnectionStatus::ScanStarted:
      return "ScanStarted";
  }
  return "Unknown";
}

void ConnectionInfo::update_message(std::string_view message) const {
  SPARVIK_LOG(log::Level::Trace, log_target, "Message: {}", message);
  scan_message.set(std::string(message));
}

void ConnectionInfo::update_progress(std::uint64_t value) const {
  SPARVIK_LOG(log::Level::Trace, log_target, "Progress: {}", value);
  progress.set(value);
}

void ConnectionInfo::update_scan_info(std::string_view info) const {
  SPARVIK_LOG(log::Level::Info, log_target, "Info: {}", info);
  scan_info.set(std::string(info));
}

std::string ConnectionInfo::get_scan_message() const {
  return scan_message.get();
}

ConnectionStatus ConnectionInfo::get_connection_status() const {
  return connection_status.get();
}

void ConnectionInfo::set_error(std::optional<SparvikUIError> error) const {
  SPARVIK_LOG(log::Level::Error, log_target, "Error: {}", debug_optional(error));
  error_raised.set(std::move(error));
}

void ConnectionInfo::set_connection_status(ConnectionStatus status) const {
  SPARVIK_LOG(log::Level::Info, log_target, "Status: {}", debug_name(status));
  connection_status.set(status);
}

std::string ConnectionInfo::debug() const {
  return record_node(*this).compact();
}

std::string ConnectionInfo::debug_pretty() const {
  return record_node(*this).pretty();
}

}  // namespace sparvik
