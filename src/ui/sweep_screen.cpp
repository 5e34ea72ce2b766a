// The sweep screen: the worker's step message, the progress gauge and the device text, and the
// move to the result screen once the worker has finished or failed.
#include <algorithm>
#include <utility>

#include "platform/log/log.hpp"
#include "structs/unprepared_items.hpp"
#include "ui/screens.hpp"
#include "widgets/core/layout.hpp"

namespace sparvik::screens {

namespace {

constexpr std::string_view kTarget = "sparvik::ui";

// The gauge accepts 0..1 only; a progress past 100 must not take the screen down.
double gauge_ratio(std::uint64_t progress) {
  return static_cast<double>(std::min<std::uint64_t>(progress, 100)) / 100.0;
}

}  // namespace

std::array<widgets::Rect, 5> sweep_rows(widgets::Rect area) {
  using widgets::Constraint;
  return widgets::split(area, widgets::Direction::Vertical,
                        {Constraint::length(3), Constraint::length(1), Constraint::min(10),
                         Constraint::length(1), Constraint::length(1)});
}

Outcome draw_scan_running(AppInfo& app, widgets::Frame& frame, widgets::Rect area) {
  if (!app.first_draw_logged) {
    if (log::enabled(log::Level::Info, kTarget)) {
      auto info = app.get_connection_info();
      if (!info) return std::unexpected(std::move(info.error()));
      SPARVIK_LOG(log::Level::Info, kTarget, "First pass of the draw process {}",
                  (*info)->debug_pretty());
    }
    // Set also when the record is filtered out: it is written at most once per run.
    app.first_draw_logged = true;
  }

  const auto rows = sweep_rows(area);

  auto info_result = app.get_connection_info();
  if (!info_result) return std::unexpected(std::move(info_result.error()));
  const ConnectionInfo& info = **info_result;

  // One cell lock per read, none held while drawing.
  const auto operation = titled_box(info.get_scan_message(), "Operation", widgets::Color::White);
  const auto device = titled_box(info.scan_info.get(), "TinySA Info", widgets::Color::White);

  if (!app.progress_bar) {
    return std::unexpected(SparvikUIError::UninitializedItemList(unprepared_item::progress_bar));
  }
  widgets::LineGauge gauge = std::move(*app.progress_bar);
  app.progress_bar.reset();
  gauge.ratio(gauge_ratio(info.progress.get()));

  frame.render_widget(operation, rows[0]);
  frame.render_widget(gauge, rows[1]);
  frame.render_widget(device, rows[2]);
  app.progress_bar = std::move(gauge);

  // Read last: the worker publishes the points or its error before the final status.
  switch (info.get_connection_status()) {
    case ConnectionStatus::ConnectionFailure:
      return app.next_step();
    case ConnectionStatus::ClosedWithSuccess: {
      auto points = info.return_data.take();
      if (!points) return std::unexpected(SparvikUIError::NoReturnData());
      app.scan_data = std::move(*points);
      app.scan_data_marks = widgets::ScatterCache{};  // new points: nothing kept is theirs
      return app.next_step();
    }
    case ConnectionStatus::Uninitialised:
    case ConnectionStatus::Initialised:
    case ConnectionStatus::Connected:
    case ConnectionStatus::ScanStarted:
      break;
  }
  return {};
}

}  // namespace sparvik::screens
