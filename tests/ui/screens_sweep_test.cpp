// The sweep screen: its boxes and gauge, the moves it makes on the worker's final status, and the
// first-pass log record.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <thread>

#include "platform/log/log.hpp"
#include "ui/screens_fixture.hpp"

namespace sparvik::screens_test {
namespace {

using widgets::Color;

// Gauge row 3; the middle column runs from x 7 to 92.
constexpr std::uint16_t kGaugeRow = 3;

class SweepScreen : public ScreenTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(start_sweep()); }

  std::size_t cells_in_row(std::uint16_t row, Color color) const {
    std::size_t n = 0;
    for (std::uint16_t x = 0; x < kWidth; ++x) n += cell(x, row).fg == color ? 1 : 0;
    return n;
  }
};

TEST_F(SweepScreen, ShowsTheStepMessageTheGaugeAndTheDeviceText) {
  info().update_message("Sending scanraw");
  info().update_scan_info("tinySA4_v1.4-105\nHW Version:V0.4.5.1");
  info().update_progress(50);
  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ScanRunning);

  const auto rows = lines();
  EXPECT_EQ(rows[0].find("┌Operation"), 7u);
  EXPECT_NE(rows[1].find("│Sending scanraw"), std::string::npos);
  EXPECT_NE(rows[3].find("Progress:"), std::string::npos);
  EXPECT_EQ(rows[4].find("┌TinySA Info"), 7u);
  EXPECT_NE(rows[5].find("│tinySA4_v1.4-105"), std::string::npos);
  EXPECT_NE(rows[6].find("│HW Version:V0.4.5.1"), std::string::npos);
  EXPECT_EQ(rows[28], std::string(kWidth, ' '));
  EXPECT_EQ(rows[29], std::string(kWidth, ' '));

  // Both boxes are white all over: border, title and text.
  EXPECT_EQ(cell(7, 0).fg, Color::White);
  EXPECT_EQ(cell(8, 1).fg, Color::White);
  EXPECT_EQ(cell(92, 27).fg, Color::White);
  EXPECT_DOUBLE_EQ(app.progress_bar->get_ratio(), 0.5);
}

struct GaugeCase {
  std::uint64_t progress;
  double ratio;
  bool blue;
  bool red;
};
void PrintTo(const GaugeCase& c, std::ostream* os) {
  *os << "progress " << c.progress;
}

class Gauge : public SweepScreen, public ::testing::WithParamInterface<GaugeCase> {};

TEST_P(Gauge, FillsInBlueAndLeavesTheRestRed) {
  const GaugeCase& c = GetParam();
  info().update_progress(c.progress);
  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ScanRunning);
  ASSERT_TRUE(app.progress_bar);
  EXPECT_DOUBLE_EQ(app.progress_bar->get_ratio(), c.ratio);
  EXPECT_EQ(cells_in_row(kGaugeRow, Color::Blue) > 0, c.blue);
  EXPECT_EQ(cells_in_row(kGaugeRow, Color::Red) > 0, c.red);
}

INSTANTIATE_TEST_SUITE_P(Screens, Gauge,
                         ::testing::Values(GaugeCase{0, 0.0, false, true},
                                           GaugeCase{50, 0.5, true, true},
                                           GaugeCase{100, 1.0, true, false},
                                           // Beyond 100 the gauge stays full.
                                           GaugeCase{250, 1.0, true, false},
                                           GaugeCase{UINT64_MAX, 1.0, true, false}));

TEST_F(SweepScreen, GaugeFillGrowsWithTheProgress) {
  std::size_t previous = 0;
  for (const std::uint64_t progress : {10u, 40u, 70u}) {
    info().update_progress(progress);
    ASSERT_TRUE(draw());
    const std::size_t blue = cells_in_row(kGaugeRow, Color::Blue);
    EXPECT_GT(blue, previous) << "progress " << progress;
    previous = blue;
  }
}

TEST_F(SweepScreen, StaysWhileTheWorkerRuns) {
  for (const auto status : {ConnectionStatus::Uninitialised, ConnectionStatus::Initialised,
                            ConnectionStatus::Connected, ConnectionStatus::ScanStarted}) {
    info().set_connection_status(status);
    ASSERT_TRUE(draw());
    EXPECT_EQ(app.menu, MenuState::ScanRunning) << debug_name(status);
  }
}

TEST_F(SweepScreen, SuccessMovesThePointsIntoTheAppAndShowsTheResult) {
  const SweepPoints points{{240.0, -80.5}, {600.0, -40.0}, {960.0, -100.25}};
  info().return_data.set(points);
  info().set_connection_status(ConnectionStatus::ClosedWithSuccess);
  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ScanResult);
  EXPECT_EQ(app.scan_data, points);
  EXPECT_FALSE(info().return_data.get().has_value());
  EXPECT_TRUE(row_of("Operation")) << "the sweep screen is drawn in the switching pass";

  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ScanResult);
  EXPECT_TRUE(row_of("finished sucessfuly"));
}

TEST_F(SweepScreen, SuccessWithoutDataShowsNoReturnDataOnTheNextPass) {
  info().set_connection_status(ConnectionStatus::ClosedWithSuccess);
  ASSERT_TRUE(draw());
  EXPECT_TRUE(row_of("Operation")) << "the failing pass keeps what it drew";
  EXPECT_EQ(app.menu, MenuState::ErrorReport);
  const auto stored = info().error_raised.get();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->kind(), SparvikUIError::Kind::NoReturnData);
  EXPECT_TRUE(app.scan_data.empty());

  ASSERT_TRUE(draw());
  EXPECT_TRUE(row_of("│An error occured when trying to acquire the return data with the TinySA"));
  EXPECT_TRUE(row_of("│Error: NoReturnData "));
  EXPECT_TRUE(row_of("│ => An error occured while trying to acquire the return data"));
}

TEST_F(SweepScreen, MissingGaugeDrawsNothingAndShowsTheErrorScreen) {
  app.progress_bar.reset();
  info().update_message("Opening port");
  ASSERT_TRUE(draw());
  EXPECT_TRUE(blank());
  EXPECT_EQ(app.menu, MenuState::ErrorReport);
  const auto stored = info().error_raised.get();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->debug(), R"(UninitializedItemList("ProgressBar", 360, "src/ui"))");

  ASSERT_TRUE(draw());
  EXPECT_TRUE(row_of("The item ProgressBar was left uninitialized"));
}

TEST_F(SweepScreen, FailedSweepReachesTheErrorScreenOnTheThirdPass) {
  info().update_message("Reading version");
  info().set_error(SparvikUIError::ScanError(SparvikError::NoVersionFound()));
  info().set_connection_status(ConnectionStatus::ConnectionFailure);

  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ScanResult);
  EXPECT_TRUE(row_of("│Reading version"));

  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ErrorReport);
  EXPECT_TRUE(blank());

  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ErrorReport);
  // The hint is cut at the box's right border.
  EXPECT_EQ(row_of("│An error forbid the gathering of the version, check your TinySA is connected "
                   "and pow│"),
            std::optional<std::uint16_t>{2});
  EXPECT_TRUE(row_of("│Last status: ConnectionFailure"));
  EXPECT_TRUE(row_of("│Last message: Reading version"));
}

TEST_F(SweepScreen, WithoutARecordDrawReturnsTheError) {
  app.connection_info.reset();
  const auto result = draw();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind(), SparvikUIError::Kind::NoConnectionInfoCreated);
}

std::size_t first_pass_records(const log::testing::Capture& capture) {
  std::size_t n = 0;
  for (const auto& record : capture.records_for("sparvik::ui")) {
    if (record.message.starts_with("First pass of the draw process ")) ++n;
  }
  return n;
}

TEST_F(SweepScreen, FirstPassIsLoggedOnceWithTheRecord) {
  log::testing::Capture capture("info");
  ASSERT_FALSE(app.first_draw_logged);
  ASSERT_TRUE(draw());
  EXPECT_TRUE(app.first_draw_logged);
  ASSERT_TRUE(draw());
  ASSERT_TRUE(draw());
  EXPECT_EQ(first_pass_records(capture), 1u);
  const auto records = capture.records_for("sparvik::ui");
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].level, log::Level::Info);
  EXPECT_EQ(records[0].module_path, "sparvik::ui");
  EXPECT_EQ(records[0].message, "First pass of the draw process " + info().debug_pretty());
}

TEST_F(SweepScreen, FirstPassFilteredOutStillSetsTheFlag) {
  std::optional<log::testing::Capture> capture;
  capture.emplace("warn");
  ASSERT_TRUE(draw());
  EXPECT_TRUE(app.first_draw_logged);
  EXPECT_EQ(first_pass_records(*capture), 0u);
  // Once Info records are admitted again, no later pass writes it either.
  capture.reset();
  capture.emplace("info");
  ASSERT_TRUE(draw());
  EXPECT_EQ(first_pass_records(*capture), 0u);
}

// A worker publishing on its own thread while the screen redraws: the points arrive whole.
TEST_F(SweepScreen, FollowsAWorkerOnAnotherThread) {
  SweepPoints points;
  for (int i = 0; i < 1000; ++i) points.emplace_back(240.0 + i * 0.72, -100.0 + i % 50);
  ConnectionInfo worker = info().clone();
  std::thread publisher([worker, points] {
    worker.set_connection_status(ConnectionStatus::Connected);
    for (std::uint64_t p = 0; p <= 100; ++p) {
      worker.update_progress(p);
      worker.update_message("step " + std::to_string(p));
      worker.update_scan_info("info " + std::to_string(p));
    }
    worker.return_data.set(points);
    worker.set_connection_status(ConnectionStatus::ClosedWithSuccess);
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (app.menu == MenuState::ScanRunning && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(draw());
  }
  publisher.join();
  EXPECT_EQ(app.menu, MenuState::ScanResult);
  EXPECT_EQ(app.scan_data, points);
}

}  // namespace
}  // namespace sparvik::screens_test
