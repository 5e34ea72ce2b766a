// The result screen: the summary of the finished sweep and the chart of its points.
#include <fmt/format.h>

#include "ui/screens.hpp"
#include "widgets/chart.hpp"

namespace sparvik::screens {

std::array<std::string, 3> frequency_labels(std::uint64_t start, std::uint64_t stop) {
  const std::uint64_t span = stop > start ? stop - start : 0;
  const std::uint64_t mid = start + span / 2;
  return {fmt::format("{}MHz", start), fmt::format("{}MHz", mid), fmt::format("{}MHz", stop)};
}

Outcome draw_scan_result(AppInfo& app, widgets::Frame& frame, widgets::Rect area) {
  const auto rows = sweep_rows(area);

  auto info_result = app.get_connection_info();
  if (!info_result) return std::unexpected(std::move(info_result.error()));
  const ConnectionInfo& info = **info_result;

  // A failed sweep passes straight on: this pass leaves the frame empty.
  if (info.get_connection_status() == ConnectionStatus::ConnectionFailure) {
    app.menu = MenuState::ErrorReport;
    return {};
  }

  const auto summary = titled_box(
      fmt::format("The scan of {} points in the range ({}Mhz - {}Mhz) finished sucessfuly",
                  app.points.int_to_string(), app.start_frequency.int_to_string(),
                  app.stop_frequency.int_to_string()),
      "Status", widgets::Color::White);

  auto labels = frequency_labels(app.start_frequency.value, app.stop_frequency.value);
  widgets::Axis x_axis{
      .bounds = {static_cast<double>(app.start_frequency.value),
                 static_cast<double>(app.stop_frequency.value)},
      .labels = {std::move(labels[0]), std::move(labels[1]), std::move(labels[2])},
      .style = widgets::fg(widgets::Color::Gray),
  };
  widgets::Axis y_axis{
      .bounds = {-128.0, 0.0},
      .labels = {"-128dbm", "-64dbm", "0dbm"},
      .style = widgets::fg(widgets::Color::Gray),
  };
  // The dataset refers to scan_data, and the cells it marks are kept for the next pass.
  std::vector<widgets::Dataset> datasets;
  datasets.push_back(widgets::Dataset{.name = std::nullopt,
                                      .data = app.scan_data,
                                      .style = widgets::fg(widgets::Color::Yellow),
                                      .cache = &app.scan_data_marks});
  widgets::Chart chart(std::move(datasets));
  chart.x_axis(std::move(x_axis)).y_axis(std::move(y_axis));
  frame.render_widget(chart, rows[2]);

  const auto footer =
      centred_line(fmt::format("{}, press ↲ or q to exit", info.get_scan_message()));
  frame.render_widget(summary, rows[0]);
  frame.render_widget(footer, rows[4]);
  return {};
}

}  // namespace sparvik::screens
