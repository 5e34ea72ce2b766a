// The result screen: the summary of the finished sweep and the chart of its points.
#include <string>

#include "ui/screens.hpp"
#include "widgets/chart.hpp"

namespace sparvik::screens {

// The texts of this screen are put together by hand: it is drawn 60 times a second, and the
// formatting library's code is otherwise cold on every pass.
std::array<std::string, 3> frequency_labels(std::uint64_t start, std::uint64_t stop) {
  const std::uint64_t span = stop > start ? stop - start : 0;
  const std::uint64_t mid = start + span / 2;
  return {std::to_string(start) + "MHz", std::to_string(mid) + "MHz", std::to_string(stop) + "MHz"};
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

  const auto summary =
      titled_box("The scan of " + std::to_string(app.points.value) + " points in the range (" +
                     std::to_string(app.start_frequency.value) + "Mhz - " +
                     std::to_string(app.stop_frequency.value) + "Mhz) finished sucessfuly",
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

  const auto footer = centred_line(info.get_scan_message() + ", press ↲ or q to exit");
  frame.render_widget(summary, rows[0]);
  frame.render_widget(footer, rows[4]);
  return {};
}

}  // namespace sparvik::screens
