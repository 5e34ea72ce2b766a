// The record shared by the screens and the sweep worker: the sweep request in plain fields, and
// the worker's published state in cells that every copy of the record shares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "structs/errors.hpp"
#include "structs/shared_cell.hpp"

namespace sparvik {

enum class ConnectionStatus : std::uint8_t {
  Uninitialised,
  Initialised,
  Connected,
  ConnectionFailure,
  ClosedWithSuccess,
  ScanStarted,
};

// The bare value name, e.g. "ScanStarted".
const char* debug_name(ConnectionStatus status) noexcept;

// One measured point: (frequency in MHz, level in dBm).
using SweepPoint = std::pair<double, double>;
using SweepPoints = std::vector<SweepPoint>;

struct ConnectionInfo {
  std::uint64_t points = 11;
  std::uint32_t baudrate = 115200;
  std::string port;
  SharedCell<std::uint64_t> progress;
  std::uint64_t repeat = 1;
  SharedCell<std::optional<SweepPoints>> return_data;
  SharedCell<std::string> scan_info;
  SharedCell<std::string> scan_message;
  std::uint64_t start = 240;  // Hz once a sweep is requested
  std::uint64_t stop = 960;   // Hz once a sweep is requested
  SharedCell<std::string> file_name;
  SharedCell<ConnectionStatus> connection_status{ConnectionStatus::Uninitialised};
  SharedCell<std::optional<SparvikUIError>> error_raised;

  // A copy with its own plain fields and the very same cells.
  ConnectionInfo clone() const { return *this; }

  void update_message(std::string_view message) const;
  void update_progress(std::uint64_t progress) const;
  void update_scan_info(std::string_view info) const;
  std::string get_scan_message() const;
  ConnectionStatus get_connection_status() const;
  void set_error(std::optional<SparvikUIError> error) const;
  void set_connection_status(ConnectionStatus status) const;

  // The structured debug form, on one line or pretty-printed over several. A cell locked at that
  // moment shows as "<locked>"; must not be called while this thread holds one of the cells.
  std::string debug() const;
  std::string debug_pretty() const;
};

}  // namespace sparvik
