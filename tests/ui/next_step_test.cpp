// The step machine on every screen, and the sweep start with its refusals.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "main/sweep_start.hpp"
#include "support/temp_dir.hpp"
#include "ui_struct/app_info.hpp"

namespace sparvik {
namespace {

namespace fs = std::filesystem;

bool share_all_cells(const ConnectionInfo& a, const ConnectionInfo& b) {
  return a.progress.shares_with(b.progress) && a.return_data.shares_with(b.return_data) &&
         a.scan_info.shares_with(b.scan_info) && a.scan_message.shares_with(b.scan_message) &&
         a.file_name.shares_with(b.file_name) &&
         a.connection_status.shares_with(b.connection_status) &&
         a.error_raised.shares_with(b.error_raised);
}

void expect_same_plain_fields(const ConnectionInfo& actual, const ConnectionInfo& expected) {
  EXPECT_EQ(actual.port, expected.port);
  EXPECT_EQ(actual.baudrate, expected.baudrate);
  EXPECT_EQ(actual.start, expected.start);
  EXPECT_EQ(actual.stop, expected.stop);
  EXPECT_EQ(actual.points, expected.points);
  EXPECT_EQ(actual.repeat, expected.repeat);
}

// An application state whose settings file lives in a directory of the test's own and whose
// sweep worker only records what it was handed.
class SweepStart : public ::testing::Test {
 protected:
  void SetUp() override { build({"/dev/ttyS0", "COM3"}, std::nullopt); }

  void build(std::vector<std::string> ports, std::optional<SavedConfig> saved) {
    app_ = AppInfo::build(std::move(ports), std::move(saved));
    app_.config_path = dir_.path() / "config.toml";
    app_.start_worker = [this](ConnectionInfo sweep, ConnectionInfo report) {
      started_.push_back({std::move(sweep), std::move(report)});
    };
    app_.menu = MenuState::ScanSetup;
  }

  struct Started {
    ConnectionInfo sweep;
    ConnectionInfo report;
  };
  test_support::TempDir dir_{"sparvik-next-step"};
  AppInfo app_;
  std::vector<Started> started_;
};

TEST_F(SweepStart, FillsTheRecordSavesTheSettingsAndStartsOneWorker) {
  ASSERT_EQ(app_.port_list.selected_port(), "COM3");
  ASSERT_TRUE(app_.next_step().has_value());

  EXPECT_EQ(app_.menu, MenuState::ScanRunning);
  ASSERT_TRUE(app_.connection_info.has_value());
  const ConnectionInfo& held = *app_.connection_info;
  EXPECT_EQ(held.port, "COM3");
  EXPECT_EQ(held.baudrate, 115200u);
  EXPECT_EQ(held.start, 240000000u);
  EXPECT_EQ(held.stop, 960000000u);
  EXPECT_EQ(held.points, 10001u);
  EXPECT_EQ(held.repeat, 1u);
  EXPECT_EQ(held.get_connection_status(), ConnectionStatus::Uninitialised);
  EXPECT_EQ(held.get_scan_message(), "");
  EXPECT_FALSE(held.error_raised.get().has_value());

  ASSERT_EQ(started_.size(), 1u);
  for (const ConnectionInfo* copy : {&started_[0].sweep, &started_[0].report}) {
    expect_same_plain_fields(*copy, held);
    EXPECT_TRUE(share_all_cells(*copy, held));
  }

  auto saved = read_config(dir_.path() / "config.toml");
  ASSERT_TRUE(saved.has_value()) << saved.error().debug();
  EXPECT_EQ(*saved, (SavedConfig{.port = "COM3",
                                 .baudrate = 115200,
                                 .start_frequency = 240,
                                 .stop_frequency = 960,
                                 .points = 10001,
                                 .repeat = 1}));

  ASSERT_TRUE(app_.progress_bar.has_value());
  const widgets::LineGauge& gauge = *app_.progress_bar;
  EXPECT_EQ(gauge.get_ratio(), 0.0);
  ASSERT_TRUE(gauge.get_label().has_value());
  ASSERT_EQ(gauge.get_label()->spans.size(), 1u);
  EXPECT_EQ(gauge.get_label()->spans[0].content, "Progress:");
  EXPECT_EQ(gauge.get_label()->spans[0].style, widgets::Style{});
  EXPECT_EQ(gauge.get_filled_style(), widgets::fg(widgets::Color::Blue));
  EXPECT_EQ(gauge.get_unfilled_style(), widgets::fg(widgets::Color::Red));
}

TEST_F(SweepStart, UsesTheEditedCountersAndSelections) {
  app_.port_list.state.select(0);
  app_.baudrate_list.state.select(9);
  app_.start_frequency.value = 100;
  app_.stop_frequency.value = 350;
  app_.points.value = 401;
  app_.repeat.value = 7;
  ASSERT_TRUE(app_.next_step().has_value());

  const ConnectionInfo& held = *app_.connection_info;
  EXPECT_EQ(held.port, "/dev/ttyS0");
  EXPECT_EQ(held.baudrate, 3000000u);
  EXPECT_EQ(held.start, 100000000u);
  EXPECT_EQ(held.stop, 350000000u);
  EXPECT_EQ(held.points, 401u);
  EXPECT_EQ(held.repeat, 7u);
  auto saved = read_config(dir_.path() / "config.toml");
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(*saved, (SavedConfig{.port = "/dev/ttyS0",
                                 .baudrate = 3000000,
                                 .start_frequency = 100,
                                 .stop_frequency = 350,
                                 .points = 401,
                                 .repeat = 7}));
}

// Refusals before the record is filled: it goes back as it was, nothing is saved or started.
struct RefusalCase {
  const char* name;
  std::vector<std::string> ports;
  std::optional<SavedConfig> saved;
  std::function<void(AppInfo&)> prepare;
  SparvikUIError::Kind kind;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}

class SweepRefused : public SweepStart, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SweepRefused, HandsTheRecordBackUnchanged) {
  const RefusalCase& c = GetParam();
  build(c.ports, c.saved);
  if (c.prepare) c.prepare(app_);
  const ConnectionInfo before = app_.connection_info->clone();

  auto started = app_.next_step();
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().kind(), c.kind) << started.error().debug();
  ASSERT_TRUE(app_.connection_info.has_value());
  expect_same_plain_fields(*app_.connection_info, before);
  EXPECT_TRUE(share_all_cells(*app_.connection_info, before));
  EXPECT_EQ(app_.connection_info->get_connection_status(), ConnectionStatus::Uninitialised);
  EXPECT_FALSE(fs::exists(dir_.path() / "config.toml"));
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(app_.menu, MenuState::ScanRunning);
  EXPECT_TRUE(app_.progress_bar.has_value());
}

SavedConfig huge_frequency(std::uint64_t start, std::uint64_t stop) {
  return SavedConfig{.port = "COM3",
                     .baudrate = 115200,
                     .start_frequency = start,
                     .stop_frequency = stop,
                     .points = 10001,
                     .repeat = 1};
}

INSTANTIATE_TEST_SUITE_P(
    NextStep, SweepRefused,
    ::testing::Values(
        // The first drawing of an empty port list clears its selection.
        RefusalCase{"NoPortSelected",
                    {},
                    std::nullopt,
                    [](AppInfo& app) { app.port_list.state.select(std::nullopt); },
                    SparvikUIError::Kind::NoPortSelected},
        RefusalCase{"NoBaudRateSelected",
                    {"COM3"},
                    std::nullopt,
                    [](AppInfo& app) { app.baudrate_list.state.select(std::nullopt); },
                    SparvikUIError::Kind::UninitializedItemList},
        RefusalCase{"BaudRatePastTheTable",
                    {"COM3"},
                    std::nullopt,
                    [](AppInfo& app) { app.baudrate_list.state.select(10); },
                    SparvikUIError::Kind::MenuSelectionError},
        RefusalCase{"StartTooLargeForHz",
                    {"COM3"},
                    huge_frequency(18446744073710, 960),
                    nullptr,
                    SparvikUIError::Kind::ScanError},
        RefusalCase{"StopTooLargeForHz",
                    {"COM3"},
                    huge_frequency(240, 18446744073710),
                    nullptr,
                    SparvikUIError::Kind::ScanError}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST_F(SweepStart, HugeFrequencyIsRefusedAsBadScanFrequencies) {
  build({"COM3"}, huge_frequency(std::numeric_limits<std::uint64_t>::max(), 960));
  auto started = app_.next_step();
  ASSERT_FALSE(started.has_value());
  ASSERT_EQ(started.error().kind(), SparvikUIError::Kind::ScanError);
  const auto* wrapped = started.error().payload<SparvikError>();
  ASSERT_NE(wrapped, nullptr);
  EXPECT_EQ(wrapped->kind(), SparvikError::Kind::BadScanFrequencies);
  EXPECT_NE(wrapped->display().find("18446744073709551615 MHz"), std::string::npos)
      << wrapped->display();
}

TEST_F(SweepStart, UnwritableSettingsFileEndsTheStartAfterTheRecordIsFilled) {
  // A regular file where the settings file's directory should be.
  std::ofstream(dir_.path() / "blocker") << "not a directory";
  app_.config_path = dir_.path() / "blocker" / "config.toml";
  const ConnectionInfo before = app_.connection_info->clone();

  auto started = app_.next_step();
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().kind(), SparvikUIError::Kind::KeyPress) << started.error().debug();
  ASSERT_TRUE(app_.connection_info.has_value());
  const ConnectionInfo& held = *app_.connection_info;
  EXPECT_EQ(held.port, "COM3");
  EXPECT_EQ(held.baudrate, 115200u);
  EXPECT_EQ(held.start, 240000000u);
  EXPECT_EQ(held.stop, 960000000u);
  EXPECT_TRUE(share_all_cells(held, before));
  EXPECT_EQ(held.get_connection_status(), ConnectionStatus::Uninitialised);
  EXPECT_EQ(held.get_scan_message(), "");
  EXPECT_TRUE(started_.empty());
}

TEST_F(SweepStart, ValueTooLargeForTomlIsASerializeError) {
  app_.repeat.value = std::uint64_t{1} << 63;
  auto started = app_.next_step();
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().kind(), SparvikUIError::Kind::SerializeError)
      << started.error().debug();
  EXPECT_EQ(app_.connection_info->repeat, std::uint64_t{1} << 63);
  EXPECT_TRUE(started_.empty());
}

TEST_F(SweepStart, MissingRecordIsNoConnectionInfoCreated) {
  app_.connection_info.reset();
  auto started = app_.next_step();
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().kind(), SparvikUIError::Kind::NoConnectionInfoCreated);
  EXPECT_EQ(app_.menu, MenuState::ScanRunning);
  EXPECT_TRUE(app_.progress_bar.has_value());
  EXPECT_FALSE(app_.connection_info.has_value());
  EXPECT_FALSE(fs::exists(dir_.path() / "config.toml"));
  EXPECT_TRUE(started_.empty());
}

struct StepCase {
  const char* name;
  MenuState menu;
  std::uint8_t focus;
  MenuState expected_menu;
  std::uint8_t expected_focus;
  bool expected_exit;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const StepCase& c, std::ostream* os) {
  *os << c.name;
}

class OtherScreens : public SweepStart, public ::testing::WithParamInterface<StepCase> {};

TEST_P(OtherScreens, StepWithoutSideEffects) {
  const StepCase& c = GetParam();
  app_.menu = c.menu;
  app_.selected_widget = c.focus;
  const ConnectionInfo before = app_.connection_info->clone();

  ASSERT_TRUE(app_.next_step().has_value());
  EXPECT_EQ(app_.menu, c.expected_menu);
  EXPECT_EQ(app_.selected_widget, c.expected_focus);
  EXPECT_EQ(app_.exit, c.expected_exit);
  EXPECT_FALSE(app_.progress_bar.has_value());
  expect_same_plain_fields(*app_.connection_info, before);
  EXPECT_FALSE(fs::exists(dir_.path() / "config.toml"));
  EXPECT_TRUE(started_.empty());
}

using enum MenuState;
INSTANTIATE_TEST_SUITE_P(
    NextStep, OtherScreens,
    ::testing::Values(StepCase{"ConnectionFromPorts", ConnectionSetup, 0, ScanSetup, 0, false},
                      StepCase{"ConnectionFromBauds", ConnectionSetup, 1, ScanSetup, 0, false},
                      StepCase{"RunningToResult", ScanRunning, 0, ScanResult, 0, false},
                      StepCase{"ResultQuits", ScanResult, 0, ScanResult, 0, true},
                      StepCase{"ErrorQuits", ErrorReport, 1, ErrorReport, 1, true}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// The default starter really runs the worker on a thread of its own: a request the worker
// refuses before touching any port comes back through the shared cells.
TEST(NextStep, DefaultStarterRunsTheWorkerDetached) {
  ConnectionInfo record;
  record.port = "/dev/sparvik-no-such-port";
  record.start = 960'000'000;
  record.stop = 240'000'000;
  spawn_sweep_worker(record.clone(), record.clone());

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (record.get_connection_status() != ConnectionStatus::ConnectionFailure &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(record.get_connection_status(), ConnectionStatus::ConnectionFailure);
  const auto error = record.error_raised.get();
  ASSERT_TRUE(error.has_value());
  ASSERT_EQ(error->kind(), SparvikUIError::Kind::ScanError);
  const auto* cause = error->payload<SparvikError>();
  ASSERT_NE(cause, nullptr);
  EXPECT_EQ(cause->kind(), SparvikError::Kind::BadScanFrequencies);
}

}  // namespace
}  // namespace sparvik
