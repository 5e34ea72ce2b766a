// Building the start-up state and reaching the shared sweep record.
#include "ui_struct/app_info.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace sparvik {
namespace {

// Port names tried in order after the saved one; the first present is preselected.
constexpr std::array<std::string_view, 4> fallback_ports{"/dev/ttyACM0", "COM3", "COM5",
                                                         "/dev/ttyS16"};

std::size_t initial_port_position(const std::vector<std::string>& names,
                                  const std::optional<SavedConfig>& saved) {
  std::vector<std::string_view> candidates;
  if (saved) candidates.push_back(saved->port);
  candidates.insert(candidates.end(), fallback_ports.begin(), fallback_ports.end());
  for (std::string_view candidate : candidates) {
    const auto found = std::find(names.begin(), names.end(), candidate);
    if (found != names.end()) return static_cast<std::size_t>(found - names.begin());
  }
  return 0;
}

BaudRateList initial_baudrate_list(const std::optional<SavedConfig>& saved) {
  BaudRateList list = BaudRateList::make_default();
  if (!saved) return list;
  BaudRateIter rates;
  for (std::size_t position = 0; auto rate = rates.next(); ++position) {
    if (*rate == saved->baudrate) {
      list.state.select(position);
      break;
    }
  }
  return list;
}

widgets::List framed_list(std::vector<widgets::Line> items, std::string_view title) {
  widgets::List list(std::move(items));
  list.block(widgets::Block::bordered().title(widgets::Line(title)))
      .highlight_style(
          widgets::Style{}.background(widgets::Color::Blue).modifier(widgets::Modifier::Italic));
  return list;
}

}  // namespace

AppInfo AppInfo::build(std::vector<std::string> port_names, std::optional<SavedConfig> saved) {
  AppInfo app;
  app.start_frequency = {
      .value = saved ? saved->start_frequency : 240, .step = 10, .min = 0, .max = 960};
  app.stop_frequency = {
      .value = saved ? saved->stop_frequency : 960, .step = 10, .min = 10, .max = 960};
  app.points = {.value = saved ? saved->points : 10001, .step = 100, .min = 101, .max = 1000001};
  app.repeat = {.value = saved ? saved->repeat : 1, .step = 1, .min = 1, .max = 1000};

  app.baudrate_list = initial_baudrate_list(saved);
  app.port_list.state.select(initial_port_position(port_names, saved));
  app.port_list.items = std::move(port_names);

  app.connection_info.emplace();

  std::vector<widgets::Line> port_rows(app.port_list.items.begin(), app.port_list.items.end());
  app.port_list_widget = framed_list(std::move(port_rows), "COM Ports");
  std::vector<widgets::Line> rate_rows;
  rate_rows.reserve(app.baudrate_list.items.size());
  for (BaudRate rate : app.baudrate_list.items) rate_rows.emplace_back(fmt::format("{}", rate));
  app.baudrate_list_widget = framed_list(std::move(rate_rows), "Baudrates");

  app.title = "Sparvik version 0.1.1";
  return app;
}

std::expected<ConnectionInfo*, SparvikUIError> AppInfo::get_connection_info() {
  if (!connection_info) return std::unexpected(SparvikUIError::NoConnectionInfoCreated());
  return &*connection_info;
}

}  // namespace sparvik
