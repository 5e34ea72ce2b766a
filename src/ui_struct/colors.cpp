// Colours of the connection screen's two lists: the focused one White, the other DarkGray.
#include "structs/unprepared_items.hpp"
#include "ui_struct/app_info.hpp"

namespace sparvik {

std::expected<void, SparvikUIError> AppInfo::update_color() {
  if (menu != MenuState::ConnectionSetup) return {};
  using widgets::Color;
  const bool ports_focused = selected_widget == 0;
  const Color port_color = ports_focused ? Color::White : Color::DarkGray;
  const Color baud_color = ports_focused ? Color::DarkGray : Color::White;

  // Both widgets leave their slots first; on a failure neither is put back.
  std::optional<widgets::List> ports = std::exchange(port_list_widget, std::nullopt);
  if (!ports) {
    return std::unexpected(
        SparvikUIError::UninitializedItemList(unprepared_item::port_list_colors));
  }
  std::optional<widgets::List> bauds = std::exchange(baudrate_list_widget, std::nullopt);
  if (!bauds) {
    return std::unexpected(
        SparvikUIError::UninitializedItemList(unprepared_item::baudrate_list_colors));
  }
  port_list_widget = change_color("COM Ports", std::move(*ports), port_color);
  baudrate_list_widget = change_color("Baudrate", std::move(*bauds), baud_color);
  return {};
}

widgets::List AppInfo::change_color(std::string_view title, widgets::List list,
                                    widgets::Color color) {
  list.block(
          widgets::Block::bordered().title(widgets::Line(title)).border_style(widgets::fg(color)))
      .style(widgets::fg(color));
  return list;
}

}  // namespace sparvik
