// The five screens that AppInfo::draw dispatches to, each drawn into the middle column of the
// frame, and the small pieces they share.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "structs/errors.hpp"
#include "ui_struct/app_info.hpp"
#include "widgets/core/frame.hpp"
#include "widgets/paragraph.hpp"

namespace sparvik::screens {

using Outcome = std::expected<void, SparvikUIError>;

Outcome draw_connection_setup(AppInfo& app, widgets::Frame& frame, widgets::Rect area);
Outcome draw_scan_setup(AppInfo& app, widgets::Frame& frame, widgets::Rect area);
Outcome draw_scan_running(AppInfo& app, widgets::Frame& frame, widgets::Rect area);
Outcome draw_scan_result(AppInfo& app, widgets::Frame& frame, widgets::Rect area);
Outcome draw_error_report(AppInfo& app, widgets::Frame& frame, widgets::Rect area);

// The x-axis labels of the result chart: start, midpoint and stop, each followed by "MHz". The
// midpoint rounds down and is the start when stop lies below it.
std::array<std::string, 3> frequency_labels(std::uint64_t start, std::uint64_t stop);

// A paragraph in a bordered box with `title`; the optional colour covers border, title and text.
widgets::Paragraph titled_box(std::string_view text, std::string_view title,
                              std::optional<widgets::Color> color = std::nullopt);
// A one-row paragraph without a box, centred.
widgets::Paragraph centred_line(std::string_view text);

// The five rows the sweep and result screens share: the status box (3 high), the gauge (1), the
// main box (10 or more), a gap (1) and the footer (1).
std::array<widgets::Rect, 5> sweep_rows(widgets::Rect area);

}  // namespace sparvik::screens
