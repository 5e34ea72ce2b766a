// Key actions that move the focus or the selection of the current screen.
#include <limits>

#include "ui_struct/app_info.hpp"

namespace sparvik {

std::expected<void, SparvikUIError> AppInfo::next_menu(MoveDirection direction) {
  const bool right = direction == MoveDirection::Right;
  switch (menu) {
    case MenuState::ConnectionSetup:
      selected_widget = right ? 1 : 0;
      break;
    case MenuState::ScanSetup: {
      constexpr std::uint8_t last_field = static_cast<std::uint8_t>(ScanField::Repeat);
      std::uint8_t focus = selected_widget;
      if (right) {
        focus = focus < last_field ? static_cast<std::uint8_t>(focus + 1) : last_field;
      } else if (focus > 0) {
        focus = static_cast<std::uint8_t>(focus - 1);
      }
      if (!scan_field_from_index(focus)) {
        return std::unexpected(SparvikUIError::MenuSelectionError());
      }
      selected_widget = focus;
      break;
    }
    case MenuState::ScanResult:
    case MenuState::ScanRunning:
    case MenuState::ErrorReport:
      break;
  }
  return update_color();
}

void AppInfo::change_cursor_position(bool down) {
  switch (menu) {
    case MenuState::ConnectionSetup: {
      widgets::ListState& state = selected_widget == 0 ? port_list.state : baudrate_list.state;
      // The index is not checked against the list here: drawing the list pulls it back.
      constexpr std::size_t largest = std::numeric_limits<std::size_t>::max();
      std::size_t index;
      if (down) {
        index = !state.selected ? 0 : (*state.selected == largest ? largest : *state.selected + 1);
      } else {
        index = !state.selected ? largest : (*state.selected == 0 ? 0 : *state.selected - 1);
      }
      state.select(index);
      break;
    }
    case MenuState::ScanSetup: {
      const auto field = scan_field_from_index(selected_widget);
      if (!field) break;
      switch (*field) {
        case ScanField::StartFrequency:
          start_frequency.change_value(down);
          break;
        case ScanField::StopFrequency:
          stop_frequency.change_value(down);
          break;
        case ScanField::Points:
          points.change_value(down);
          break;
        case ScanField::Repeat:
          repeat.change_value(down);
          break;
      }
      break;
    }
    case MenuState::ScanResult:
    case MenuState::ScanRunning:
    case MenuState::ErrorReport:
      break;
  }
}

}  // namespace sparvik
