// What the screen tests share: an application state as start-up builds it, a fixed-size buffer
// to draw into, and the way onto the sweep screen through the real sweep start (with the worker
// replaced and the settings file kept in a directory of the test's own).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "structs/connection_info.hpp"
#include "support/temp_dir.hpp"
#include "ui_struct/app_info.hpp"
#include "widgets/core/buffer.hpp"
#include "widgets/core/frame.hpp"

namespace sparvik::screens_test {

inline constexpr std::uint16_t kWidth = 100;
inline constexpr std::uint16_t kHeight = 30;

class ScreenHarness {
 public:
  explicit ScreenHarness(std::vector<std::string> ports = {"/dev/ttyS0", "/dev/ttyACM0"})
      : app(AppInfo::build(std::move(ports), std::nullopt)) {
    app.config_path = dir.path() / "config.toml";
    app.start_worker = [](ConnectionInfo, ConnectionInfo) {};
  }
  ScreenHarness(const ScreenHarness&) = delete;
  ScreenHarness& operator=(const ScreenHarness&) = delete;

  ConnectionInfo& info() { return **app.get_connection_info(); }

  // One pass of the run loop's drawing, into a freshly cleared buffer.
  std::expected<void, SparvikUIError> draw() {
    buffer.reset();
    widgets::Frame frame(buffer);
    return app.draw(frame);
  }

  // Through the connection and parameters screens to the sweep screen, as Enter does.
  void start_sweep() {
    ASSERT_TRUE(app.update_color());
    ASSERT_TRUE(draw());
    ASSERT_TRUE(app.next_step());
    ASSERT_TRUE(app.next_step());
    ASSERT_EQ(app.menu, MenuState::ScanRunning);
    ASSERT_TRUE(app.progress_bar.has_value());
  }

  std::vector<std::string> lines() const { return buffer.lines(); }
  bool blank() const {
    for (const auto& line : buffer.lines()) {
      if (line.find_first_not_of(' ') != std::string::npos) return false;
    }
    return true;
  }
  // The row holding `text`, if any.
  std::optional<std::uint16_t> row_of(std::string_view text) const {
    const auto rows = buffer.lines();
    for (std::size_t y = 0; y < rows.size(); ++y) {
      if (rows[y].find(text) != std::string::npos) return static_cast<std::uint16_t>(y);
    }
    return std::nullopt;
  }
  // The column (in cells) where `text` starts on `row`.
  std::optional<std::uint16_t> column_of(std::uint16_t row, std::string_view text) const {
    const auto cells = buffer.lines()[row];
    const auto byte = cells.find(text);
    if (byte == std::string::npos) return std::nullopt;
    std::uint16_t column = 0;
    for (std::size_t i = 0; i < byte; ++i) {
      if ((static_cast<unsigned char>(cells[i]) & 0xC0) != 0x80) ++column;
    }
    return column;
  }
  const widgets::Cell& cell(std::uint16_t x, std::uint16_t y) const { return buffer.at(x, y); }

  test_support::TempDir dir{"sparvik-screens"};
  AppInfo app;
  widgets::Buffer buffer{widgets::Rect{0, 0, kWidth, kHeight}};
};

class ScreenTest : public ::testing::Test, public ScreenHarness {};

}  // namespace sparvik::screens_test
