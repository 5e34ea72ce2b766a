// The error screen: the stored error's screen text in a red box, then the last status, the last
// step message and the error's details.
#include <fmt/format.h>

#include "ui/screens.hpp"
#include "widgets/core/layout.hpp"

namespace sparvik::screens {

Outcome draw_error_report(AppInfo& app, widgets::Frame& frame, widgets::Rect area) {
  using widgets::Constraint;

  const auto rows =
      widgets::split(area, widgets::Direction::Vertical,
                     {Constraint::length(1), Constraint::length(3), Constraint::length(1),
                      Constraint::min(10), Constraint::length(1), Constraint::length(1)});

  auto info_result = app.get_connection_info();
  if (!info_result) return std::unexpected(std::move(info_result.error()));
  const ConnectionInfo& info = **info_result;

  // The status first, then the error cell: a worker failing meanwhile stores its error before
  // it publishes the failure.
  const ConnectionStatus status = info.get_connection_status();
  const std::string screen_text =
      info.error_raised.with([](const std::optional<SparvikUIError>& error) {
        return error ? error->screen_text() : SparvikUIError::NoErrorSpecified().screen_text();
      });
  const std::string details =
      info.error_raised.with([](const std::optional<SparvikUIError>& error) {
        return error ? fmt::format("Error: {} \n => {}\n", error->debug(), error->display())
                     : std::string{};
      });
  const std::string last = fmt::format("Last status: {}\nLast message: {}\n{}", debug_name(status),
                                       info.get_scan_message(), details);

  frame.render_widget(titled_box(screen_text, "Status", widgets::Color::Red), rows[1]);
  frame.render_widget(titled_box(last, "Status"), rows[3]);
  frame.render_widget(centred_line("Press ↲ or q to exit"), rows[5]);
  return {};
}

}  // namespace sparvik::screens
