// AppInfo::draw: picks the screen by menu, lays out the three columns, and turns a failed screen
// into the error screen of the next pass.
#include <utility>

#include "ui/screens.hpp"
#include "ui_struct/app_info.hpp"
#include "widgets/core/layout.hpp"

namespace sparvik {

namespace {

using widgets::Constraint;

// The setup screens take the whole middle; the others leave a margin on either side.
std::uint16_t middle_percentage(MenuState menu) {
  switch (menu) {
    case MenuState::ConnectionSetup:
    case MenuState::ScanSetup:
      return 100;
    case MenuState::ScanResult:
    case MenuState::ScanRunning:
    case MenuState::ErrorReport:
      return 90;
  }
  return 90;
}

}  // namespace

std::expected<void, SparvikUIError> AppInfo::draw(widgets::Frame& frame) {
  const auto columns = widgets::split(
      frame.area(), widgets::Direction::Horizontal,
      {Constraint::min(7), Constraint::percentage(middle_percentage(menu)), Constraint::min(7)});
  const widgets::Rect middle = columns[1];

  screens::Outcome outcome;
  switch (menu) {
    case MenuState::ConnectionSetup:
      outcome = screens::draw_connection_setup(*this, frame, middle);
      break;
    case MenuState::ScanSetup:
      outcome = screens::draw_scan_setup(*this, frame, middle);
      break;
    case MenuState::ScanResult:
      outcome = screens::draw_scan_result(*this, frame, middle);
      break;
    case MenuState::ScanRunning:
      outcome = screens::draw_scan_running(*this, frame, middle);
      break;
    case MenuState::ErrorReport:
      outcome = screens::draw_error_report(*this, frame, middle);
      break;
  }
  if (outcome) return {};

  // Whatever the failing screen drew stays in this frame; the next pass shows the error.
  auto info = get_connection_info();
  if (!info) return std::unexpected(std::move(info.error()));
  (*info)->set_error(std::move(outcome.error()));
  menu = MenuState::ErrorReport;
  return {};
}

}  // namespace sparvik
