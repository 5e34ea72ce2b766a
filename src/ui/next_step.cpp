// The step machine: moves the application from one screen to the next, and on the parameters
// screen fills the shared record, saves the settings and starts the sweep worker.
#include <fmt/format.h>

#include "ui_struct/app_info.hpp"

namespace sparvik {
namespace {

widgets::LineGauge sweep_progress_gauge() {
  widgets::LineGauge gauge;
  gauge.ratio(0.0)
      .label(widgets::Line("Progress:"))
      .filled_style(widgets::fg(widgets::Color::Blue))
      .unfilled_style(widgets::fg(widgets::Color::Red));
  return gauge;
}

// Only an edited settings file can bring a frequency this large; the sweep is refused rather
// than started with a wrapped-around Hz value.
SparvikUIError frequency_out_of_range(std::string_view which, std::uint64_t mhz) {
  return SparvikUIError::ScanError(SparvikError::BadScanFrequencies(
      fmt::format("the {} frequency of {} MHz is too large to convert to Hz", which, mhz)));
}

}  // namespace

std::expected<void, SparvikUIError> AppInfo::next_step() {
  switch (menu) {
    case MenuState::ConnectionSetup:
      menu = MenuState::ScanSetup;
      selected_widget = static_cast<std::uint8_t>(ScanField::StartFrequency);
      return {};
    case MenuState::ScanRunning:
      menu = MenuState::ScanResult;
      return {};
    case MenuState::ScanResult:
    case MenuState::ErrorReport:
      exit = true;
      return {};
    case MenuState::ScanSetup:
      break;
  }

  menu = MenuState::ScanRunning;
  progress_bar = sweep_progress_gauge();

  if (!connection_info) return std::unexpected(SparvikUIError::NoConnectionInfoCreated());
  ConnectionInfo record = std::move(*connection_info);
  connection_info.reset();
  // Until the record is filled, every refusal hands it back as it was.
  const auto refuse = [&](SparvikUIError error) -> std::expected<void, SparvikUIError> {
    connection_info = std::move(record);
    return std::unexpected(std::move(error));
  };

  auto port = port_list.selected_port();
  if (!port) return refuse(std::move(port.error()));
  const auto baudrate = baudrate_list.selected_baudrate();
  if (!baudrate) return refuse(baudrate.error());
  const auto start_hz = start_frequency.mhz_to_usize();
  if (!start_hz) return refuse(frequency_out_of_range("start", start_frequency.value));
  const auto stop_hz = stop_frequency.mhz_to_usize();
  if (!stop_hz) return refuse(frequency_out_of_range("stop", stop_frequency.value));

  record.port = *port;
  record.baudrate = *baudrate;
  record.start = *start_hz;
  record.stop = *stop_hz;
  record.points = points.value;
  record.repeat = repeat.value;
  connection_info = record.clone();

  auto held = get_connection_info();
  if (!held) return std::unexpected(std::move(held.error()));
  ConnectionInfo report = (*held)->clone();

  const SavedConfig settings{
      .port = std::move(*port),
      .baudrate = *baudrate,
      .start_frequency = start_frequency.value,
      .stop_frequency = stop_frequency.value,
      .points = points.value,
      .repeat = repeat.value,
  };
  if (auto saved = write_config(settings, config_path); !saved) {
    return std::unexpected(std::move(saved.error()));
  }

  start_worker(std::move(record), std::move(report));
  return {};
}

}  // namespace sparvik
