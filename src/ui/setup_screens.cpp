// The two screens on which a sweep is prepared (port and baud rate; the four counters), the
// title box above them and the help line below.
#include <array>
#include <string_view>

#include "structs/unprepared_items.hpp"
#include "ui/screens.hpp"
#include "widgets/core/layout.hpp"

namespace sparvik {

namespace {

using widgets::Constraint;

constexpr std::string_view kFooterText =
    "Use ↓↑ to move, ←→ to change status widget and ↲ to validate configuration.";

void render_title(const AppInfo& app, widgets::Frame& frame, widgets::Rect area) {
  frame.render_widget(
      widgets::Paragraph(widgets::Text(app.title)).block(widgets::Block::bordered()), area);
}

}  // namespace

void AppInfo::render_footer(widgets::Frame& frame, widgets::Rect area) {
  frame.render_widget(screens::centred_line(kFooterText), area);
}

namespace screens {

widgets::Paragraph titled_box(std::string_view text, std::string_view title,
                              std::optional<widgets::Color> color) {
  widgets::Paragraph paragraph{widgets::Text(text)};
  paragraph.block(widgets::Block::bordered().title(widgets::Line(title)));
  if (color) paragraph.style(widgets::fg(*color));
  return paragraph;
}

widgets::Paragraph centred_line(std::string_view text) {
  widgets::Paragraph paragraph{widgets::Text(text)};
  paragraph.alignment(widgets::Alignment::Center);
  return paragraph;
}

Outcome draw_connection_setup(AppInfo& app, widgets::Frame& frame, widgets::Rect area) {
  // Both lookups come first so that a failing pass draws nothing of this screen.
  if (!app.port_list_widget) {
    return std::unexpected(SparvikUIError::UninitializedItemList(unprepared_item::port_widget));
  }
  if (!app.baudrate_list_widget) {
    return std::unexpected(SparvikUIError::UninitializedItemList(unprepared_item::baud_widget));
  }

  const auto rows =
      widgets::split(area, widgets::Direction::Vertical,
                     {Constraint::length(1), Constraint::length(3), Constraint::length(1),
                      Constraint::min(10), Constraint::length(1)});
  const auto halves = widgets::split(rows[3], widgets::Direction::Horizontal,
                                     {Constraint::percentage(50), Constraint::percentage(50)});

  // Drawing pulls an overshooting selection back onto the list (or clears it for an empty one).
  frame.render_stateful_widget(*app.port_list_widget, halves[0], app.port_list.state);
  frame.render_stateful_widget(*app.baudrate_list_widget, halves[1], app.baudrate_list.state);
  render_title(app, frame, rows[1]);
  app.render_footer(frame, rows[4]);
  return {};
}

Outcome draw_scan_setup(AppInfo& app, widgets::Frame& frame, widgets::Rect area) {
  const auto rows =
      widgets::split(area, widgets::Direction::Vertical,
                     {Constraint::length(1), Constraint::length(3), Constraint::length(1),
                      Constraint::length(3), Constraint::min(0), Constraint::length(1)});
  const auto boxes = widgets::split(rows[3], widgets::Direction::Horizontal,
                                    {Constraint::percentage(25), Constraint::percentage(25),
                                     Constraint::percentage(25), Constraint::percentage(25)});

  const std::array<std::pair<std::string_view, const UIUsize*>, 4> fields{{
      {"Start Frequency", &app.start_frequency},
      {"Stop Frequency", &app.stop_frequency},
      {"Points", &app.points},
      {"Repeat", &app.repeat},
  }};
  for (std::size_t column = 0; column < fields.size(); ++column) {
    const auto& [title, counter] = fields[column];
    const auto color =
        app.selected_widget == column ? widgets::Color::White : widgets::Color::DarkGray;
    frame.render_widget(titled_box(counter->int_to_string(), title, color), boxes[column]);
  }
  render_title(app, frame, rows[1]);
  app.render_footer(frame, rows[5]);
  return {};
}

}  // namespace screens
}  // namespace sparvik
