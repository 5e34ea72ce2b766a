// The terminal application's whole state: the lists and counters the user edits, the current
// screen and focus, the prepared widgets, the points to chart and the shared sweep record.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/report.hpp"
#include "structs/connection_info.hpp"
#include "structs/errors.hpp"
#include "structs/saved_config.hpp"
#include "widgets/core/frame.hpp"
#include "widgets/line_gauge.hpp"
#include "widgets/list.hpp"
#include "widgets/scatter_raster.hpp"

namespace sparvik {

namespace term {
class Terminal;
}

// An editable bounded counter.
struct UIUsize {
  std::uint64_t value = 0;
  std::uint64_t step = 1;
  std::uint64_t min = 0;
  std::uint64_t max = 0;

  // One step down (saturating at 0) or up, then held within [min, max].
  void change_value(bool decrease);
  // The value in plain decimal.
  std::string int_to_string() const;
  // The value taken as MHz, in Hz; nothing when it does not fit in 64 bits.
  std::optional<std::uint64_t> mhz_to_usize() const;
};

using BaudRate = std::uint32_t;
inline constexpr std::array<BaudRate, 10> baud_rates{19200,  38400,  57600,   115200,  230400,
                                                     460800, 921600, 1843200, 2000000, 3000000};

// Walks the ten rates in table order.
class BaudRateIter {
 public:
  std::optional<BaudRate> next() { return nth(0); }
  std::optional<BaudRate> nth(std::size_t n);
  // Rates left, as (lower, upper) bounds; both equal.
  std::pair<std::size_t, std::optional<std::size_t>> size_hint() const;

 private:
  std::size_t position_ = 0;
};

struct BaudRateList {
  widgets::ListState state;
  std::vector<BaudRate> items;

  // The ten rates, 115200 selected.
  static BaudRateList make_default();
  std::expected<BaudRate, SparvikUIError> selected_baudrate() const;
};

struct PortList {
  widgets::ListState state;
  std::vector<std::string> items;

  std::expected<std::string, SparvikUIError> selected_port() const;
};

enum class MenuState : std::uint8_t {
  ConnectionSetup = 0,
  ScanSetup = 1,
  ScanResult = 2,
  ScanRunning = 3,
  ErrorReport = 4,
};

enum class ScanField : std::uint8_t {
  StartFrequency = 0,
  StopFrequency = 1,
  Points = 2,
  Repeat = 3
};
std::optional<ScanField> scan_field_from_index(std::uint8_t index);

enum class MoveDirection : std::uint8_t { Left, Right };

// Starts the sweep worker with the filled record and its second copy.
using SweepStarter = std::function<void(ConnectionInfo sweep, ConnectionInfo report)>;

// Whether a stop was asked for from outside the program (a signal, in the real program).
using StopQuery = std::function<bool()>;

struct AppInfo {
  BaudRateList baudrate_list;
  PortList port_list;
  std::optional<widgets::List> port_list_widget;
  std::optional<widgets::List> baudrate_list_widget;
  std::optional<widgets::LineGauge> progress_bar;
  std::string title;
  SweepPoints scan_data;
  // The chart's cells for scan_data, kept while the points and the chart's size stay the same.
  widgets::ScatterCache scan_data_marks;
  std::optional<ConnectionInfo> connection_info;
  UIUsize start_frequency;
  UIUsize stop_frequency;
  UIUsize points;
  UIUsize repeat;
  MenuState menu = MenuState::ConnectionSetup;
  std::uint8_t selected_widget = 0;
  bool exit = false;
  bool first_draw_logged = false;
  // How the sweep start launches the worker and where it keeps the settings. Start-up hands in
  // the real worker start, which lies above this layer; tests hand in their own.
  SweepStarter start_worker;
  std::filesystem::path config_path{config_file_name};
  // Asked on every pass of the run loop; a yes ends it as the quit key does. Start-up hands in
  // the signal unit's, which lies in a platform layer this one does not link.
  StopQuery stop_requested = [] { return false; };

  // Start-up state from the enumerated ports and the settings restored from "config.toml".
  static AppInfo build(std::vector<std::string> port_names, std::optional<SavedConfig> saved);

  std::expected<ConnectionInfo*, SparvikUIError> get_connection_info();

  // Key actions.
  std::expected<void, SparvikUIError> next_menu(MoveDirection direction);
  void change_cursor_position(bool down);
  std::expected<void, SparvikUIError> next_step();

  // Recolours and re-titles the two lists of the connection screen by the focus.
  std::expected<void, SparvikUIError> update_color();
  static widgets::List change_color(std::string_view title, widgets::List list,
                                    widgets::Color color);

  // Draws the current screen; a failure is stored and turns to the error screen.
  std::expected<void, SparvikUIError> draw(widgets::Frame& frame);
  void render_footer(widgets::Frame& frame, widgets::Rect area);

  // The run loop: draws, waits up to 16 ms for an event and acts on key presses until the quit
  // flag is set or a stop is asked for. Only failures of the terminal itself (or an error with
  // nowhere to be stored) end it early.
  std::expected<void, Report> run(term::Terminal& terminal);
};

}  // namespace sparvik
