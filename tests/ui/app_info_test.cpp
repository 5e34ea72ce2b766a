// The start-up state, the bounded counters, the baud-rate table and the list selections.
#include "ui_struct/app_info.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sparvik {
namespace {

constexpr std::uint64_t u64_max = std::numeric_limits<std::uint64_t>::max();

SavedConfig saved_with(std::string port, std::uint32_t baudrate) {
  return SavedConfig{.port = std::move(port),
                     .baudrate = baudrate,
                     .start_frequency = 240,
                     .stop_frequency = 960,
                     .points = 10001,
                     .repeat = 1};
}

struct SelectionCase {
  const char* name;
  std::vector<std::string> ports;
  std::optional<SavedConfig> saved;
  std::size_t port_position;
  std::size_t baud_position;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const SelectionCase& c, std::ostream* os) {
  *os << c.name;
}

class InitialSelection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(InitialSelection, PicksPortAndBaudRate) {
  const SelectionCase& c = GetParam();
  const AppInfo app = AppInfo::build(c.ports, c.saved);
  EXPECT_EQ(app.port_list.state.selected, c.port_position);
  EXPECT_EQ(app.port_list.state.offset, 0u);
  EXPECT_EQ(app.baudrate_list.state.selected, c.baud_position);
  EXPECT_EQ(app.baudrate_list.state.offset, 0u);
  EXPECT_EQ(app.port_list.items, c.ports);
}

INSTANTIATE_TEST_SUITE_P(
    AppInfoBuild, InitialSelection,
    ::testing::Values(
        SelectionCase{"NoSettingsFirstFallbackPresent",
                      {"/dev/ttyS0", "COM3", "/dev/ttyACM0"},
                      std::nullopt,
                      2,
                      3},
        SelectionCase{
            "NoSettingsNoCandidate", {"/dev/ttyUSB0", "/dev/ttyUSB1"}, std::nullopt, 0, 3},
        SelectionCase{"LastFallback", {"/dev/ttyUSB0", "/dev/ttyS16"}, std::nullopt, 1, 3},
        SelectionCase{"SavedPortWinsOverEarlierCom3",
                      {"COM3", "/dev/ttyUSB0"},
                      saved_with("/dev/ttyUSB0", 115200),
                      1,
                      3},
        SelectionCase{"SavedPortMissingFallsThrough",
                      {"/dev/ttyUSB0", "COM3"},
                      saved_with("/dev/ttyUSB7", 115200),
                      1,
                      3},
        SelectionCase{"CandidateOrderNotListOrder", {"COM5", "COM3"}, std::nullopt, 1, 3},
        SelectionCase{"CaseSensitive", {"com3", "COM5"}, std::nullopt, 1, 3},
        SelectionCase{"FirstOfDuplicateNames", {"x", "COM3", "COM3"}, std::nullopt, 1, 3},
        SelectionCase{"SavedBaudNotInTable", {"COM3"}, saved_with("COM3", 9600), 0, 3},
        SelectionCase{"SavedBaudLastRate", {"COM3"}, saved_with("COM3", 3000000), 0, 9},
        SelectionCase{"SavedBaudFirstRate", {"COM3"}, saved_with("COM3", 19200), 0, 0},
        SelectionCase{"EmptyPortList", {}, std::nullopt, 0, 3},
        SelectionCase{"EmptyPortListWithSettings", {}, saved_with("COM3", 57600), 0, 2}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

void expect_counter(const UIUsize& c, std::uint64_t value, std::uint64_t step, std::uint64_t min,
                    std::uint64_t max) {
  EXPECT_EQ(c.value, value);
  EXPECT_EQ(c.step, step);
  EXPECT_EQ(c.min, min);
  EXPECT_EQ(c.max, max);
}

TEST(AppInfoBuild, DefaultsWithoutSettings) {
  const AppInfo app = AppInfo::build({"COM3"}, std::nullopt);
  expect_counter(app.start_frequency, 240, 10, 0, 960);
  expect_counter(app.stop_frequency, 960, 10, 10, 960);
  expect_counter(app.points, 10001, 100, 101, 1000001);
  expect_counter(app.repeat, 1, 1, 1, 1000);
  EXPECT_EQ(app.title, "Sparvik version 0.1.1");
  EXPECT_EQ(app.menu, MenuState::ConnectionSetup);
  EXPECT_EQ(app.selected_widget, 0);
  EXPECT_FALSE(app.exit);
  EXPECT_FALSE(app.first_draw_logged);
  EXPECT_FALSE(app.progress_bar.has_value());
  EXPECT_TRUE(app.scan_data.empty());
  EXPECT_EQ(app.baudrate_list.items, std::vector<BaudRate>(baud_rates.begin(), baud_rates.end()));
  ASSERT_TRUE(app.connection_info.has_value());
  EXPECT_EQ(app.connection_info->get_connection_status(), ConnectionStatus::Uninitialised);
  EXPECT_EQ(app.connection_info->port, "");
}

TEST(AppInfoBuild, RestoredCountersTakenUnchangedEvenOutOfBounds) {
  const SavedConfig saved{.port = "COM3",
                          .baudrate = 115200,
                          .start_frequency = 2000,
                          .stop_frequency = 3,
                          .points = 5,
                          .repeat = 0};
  const AppInfo app = AppInfo::build({"COM3"}, saved);
  expect_counter(app.start_frequency, 2000, 10, 0, 960);
  expect_counter(app.stop_frequency, 3, 10, 10, 960);
  expect_counter(app.points, 5, 100, 101, 1000001);
  expect_counter(app.repeat, 0, 1, 1, 1000);
}

TEST(AppInfoBuild, ListWidgetsCarryTheNamesTitlesAndHighlight) {
  const AppInfo app = AppInfo::build({"/dev/ttyS0", "COM3"}, std::nullopt);
  const widgets::Style highlight =
      widgets::Style{}.background(widgets::Color::Blue).modifier(widgets::Modifier::Italic);

  ASSERT_TRUE(app.port_list_widget.has_value());
  const widgets::List& ports = *app.port_list_widget;
  ASSERT_EQ(ports.items().size(), 2u);
  EXPECT_EQ(ports.items()[0].spans.at(0).content, "/dev/ttyS0");
  EXPECT_EQ(ports.items()[1].spans.at(0).content, "COM3");
  ASSERT_TRUE(ports.get_block().has_value());
  EXPECT_TRUE(ports.get_block()->has_borders());
  ASSERT_TRUE(ports.get_block()->title_line().has_value());
  EXPECT_EQ(ports.get_block()->title_line()->spans.at(0).content, "COM Ports");
  EXPECT_EQ(ports.get_highlight_style(), highlight);

  ASSERT_TRUE(app.baudrate_list_widget.has_value());
  const widgets::List& rates = *app.baudrate_list_widget;
  ASSERT_EQ(rates.items().size(), baud_rates.size());
  EXPECT_EQ(rates.items()[0].spans.at(0).content, "19200");
  EXPECT_EQ(rates.items()[9].spans.at(0).content, "3000000");
  ASSERT_TRUE(rates.get_block().has_value());
  EXPECT_TRUE(rates.get_block()->has_borders());
  ASSERT_TRUE(rates.get_block()->title_line().has_value());
  EXPECT_EQ(rates.get_block()->title_line()->spans.at(0).content, "Baudrates");
  EXPECT_EQ(rates.get_highlight_style(), highlight);
}

TEST(AppInfoBuild, ConnectionInfoIsReachedByReference) {
  AppInfo app = AppInfo::build({}, std::nullopt);
  auto info = app.get_connection_info();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(*info, &*app.connection_info);

  app.connection_info.reset();
  auto missing = app.get_connection_info();
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().kind(), SparvikUIError::Kind::NoConnectionInfoCreated);
}

// Steps a counter `presses` times in one direction.
UIUsize stepped(UIUsize counter, bool down, int presses) {
  for (int i = 0; i < presses; ++i) counter.change_value(down);
  return counter;
}

struct StepCase {
  const char* name;
  UIUsize counter;
  bool down;
  int presses;
  std::uint64_t expected;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const StepCase& c, std::ostream* os) {
  *os << c.name;
}

class CounterSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(CounterSteps, StaysWithinBounds) {
  const StepCase& c = GetParam();
  const UIUsize after = stepped(c.counter, c.down, c.presses);
  EXPECT_EQ(after.value, c.expected);
  EXPECT_EQ(after.step, c.counter.step);
  EXPECT_EQ(after.min, c.counter.min);
  EXPECT_EQ(after.max, c.counter.max);
}

constexpr UIUsize points_at(std::uint64_t v) {
  return {v, 100, 101, 1000001};
}
constexpr UIUsize start_at(std::uint64_t v) {
  return {v, 10, 0, 960};
}
constexpr UIUsize stop_at(std::uint64_t v) {
  return {v, 10, 10, 960};
}

INSTANTIATE_TEST_SUITE_P(
    UIUsize, CounterSteps,
    ::testing::Values(StepCase{"PointsOneShortOfMinimum", points_at(10001), true, 98, 201},
                      StepCase{"PointsReachMinimum", points_at(10001), true, 99, 101},
                      StepCase{"PointsStopAtMinimum", points_at(10001), true, 150, 101},
                      StepCase{"PointsOneShortOfMaximum", points_at(10001), false, 9899, 999901},
                      StepCase{"PointsReachMaximum", points_at(10001), false, 9900, 1000001},
                      StepCase{"PointsStopAtMaximum", points_at(10001), false, 9950, 1000001},
                      StepCase{"StopStaysAtMinimum", stop_at(10), true, 1, 10},
                      StepCase{"StartStaysAtZero", start_at(0), true, 1, 0},
                      StepCase{"StartStaysAtMaximum", start_at(960), false, 1, 960},
                      StepCase{"StartBelowStepSaturatesAtZero", start_at(5), true, 1, 0},
                      StepCase{"RestoredPointsUp", points_at(5), false, 1, 105},
                      StepCase{"RestoredPointsDown", points_at(5), true, 1, 101},
                      StepCase{"RestoredStartAboveMaxUp", start_at(2000), false, 1, 960},
                      StepCase{"RestoredStartAboveMaxDown", start_at(2000), true, 1, 960},
                      StepCase{"NearTopDoesNotWrapUp", start_at(u64_max - 1), false, 1, 960},
                      StepCase{"TopDoesNotWrapUp", points_at(u64_max), false, 1, 1000001},
                      StepCase{"UnboundedCounterSaturatesAtTop",
                               UIUsize{u64_max - 3, 10, 0, u64_max}, false, 1, u64_max}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(UIUsize, IntToStringIsPlainDecimal) {
  EXPECT_EQ(points_at(10001).int_to_string(), "10001");
  EXPECT_EQ(start_at(0).int_to_string(), "0");
  EXPECT_EQ(start_at(u64_max).int_to_string(), "18446744073709551615");
}

TEST(UIUsize, MhzToHzRefusesWhatDoesNotFit) {
  struct Case {
    std::uint64_t mhz;
    std::optional<std::uint64_t> hz;
  };
  const Case cases[] = {
      {0, 0},
      {240, 240000000},
      {960, 960000000},
      {18446744073709, 18446744073709000000u},
      {18446744073710, std::nullopt},
      {u64_max, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(start_at(c.mhz).mhz_to_usize(), c.hz) << c.mhz << " MHz";
  }
}

TEST(BaudRateIter, WalksTheTableAndReportsWhatIsLeft) {
  BaudRateIter fresh;
  EXPECT_EQ(fresh.size_hint(), (std::pair<std::size_t, std::optional<std::size_t>>{10, 10}));

  BaudRateIter all;
  std::vector<BaudRate> seen;
  while (auto rate = all.next()) seen.push_back(*rate);
  EXPECT_EQ(seen, std::vector<BaudRate>(baud_rates.begin(), baud_rates.end()));
  EXPECT_EQ(all.size_hint().first, 0u);
  EXPECT_EQ(all.next(), std::nullopt);
}

TEST(BaudRateIter, NthSkipsAndExhausts) {
  BaudRateIter rates;
  EXPECT_EQ(rates.nth(3), 115200u);
  EXPECT_EQ(rates.size_hint(), (std::pair<std::size_t, std::optional<std::size_t>>{6, 6}));
  EXPECT_EQ(rates.next(), 230400u);
  EXPECT_EQ(rates.nth(4), 3000000u);
  EXPECT_EQ(rates.size_hint().first, 0u);

  BaudRateIter past;
  EXPECT_EQ(past.nth(10), std::nullopt);
  EXPECT_EQ(past.size_hint(), (std::pair<std::size_t, std::optional<std::size_t>>{0, 0}));

  BaudRateIter huge;
  EXPECT_EQ(huge.nth(std::numeric_limits<std::size_t>::max()), std::nullopt);
  EXPECT_EQ(huge.size_hint().first, 0u);
  EXPECT_EQ(huge.next(), std::nullopt);
}

TEST(BaudRateList, DefaultSelects115200) {
  const BaudRateList list = BaudRateList::make_default();
  EXPECT_EQ(list.state.selected, 3u);
  EXPECT_EQ(list.state.offset, 0u);
  EXPECT_EQ(list.selected_baudrate(), 115200u);
}

TEST(BaudRateList, SelectedBaudrateByPosition) {
  BaudRateList list = BaudRateList::make_default();
  list.state.select(9);
  EXPECT_EQ(list.selected_baudrate(), 3000000u);
  list.state.select(0);
  EXPECT_EQ(list.selected_baudrate(), 19200u);

  list.state.select(10);
  auto past = list.selected_baudrate();
  ASSERT_FALSE(past.has_value());
  EXPECT_EQ(past.error().kind(), SparvikUIError::Kind::MenuSelectionError);

  list.state.select(std::nullopt);
  auto none = list.selected_baudrate();
  ASSERT_FALSE(none.has_value());
  EXPECT_EQ(none.error().kind(), SparvikUIError::Kind::UninitializedItemList);
  const auto* where = none.error().payload<SparvikUIError::ItemLocation>();
  ASSERT_NE(where, nullptr);
  EXPECT_STREQ(where->item, "Baudrate");
  EXPECT_EQ(where->line, 244u);
  EXPECT_STREQ(where->file, "src/ui_struct");
}

TEST(PortList, SelectedPortIsACopyOrNoPortSelected) {
  PortList list{.state = {}, .items = {"/dev/ttyS0", "COM3"}};
  auto none = list.selected_port();
  ASSERT_FALSE(none.has_value());
  EXPECT_EQ(none.error().kind(), SparvikUIError::Kind::NoPortSelected);

  list.state.select(1);
  EXPECT_EQ(list.selected_port(), "COM3");
}

TEST(PortListDeathTest, SelectionPastTheEndIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  PortList list{.state = {}, .items = {"COM3"}};
  list.state.select(1);
  EXPECT_DEATH((void)list.selected_port(), "selected port 1 lies past the 1 known ports");
}

TEST(ScanField, FromFocusIndex) {
  EXPECT_EQ(scan_field_from_index(0), ScanField::StartFrequency);
  EXPECT_EQ(scan_field_from_index(1), ScanField::StopFrequency);
  EXPECT_EQ(scan_field_from_index(2), ScanField::Points);
  EXPECT_EQ(scan_field_from_index(3), ScanField::Repeat);
  EXPECT_EQ(scan_field_from_index(4), std::nullopt);
  EXPECT_EQ(scan_field_from_index(255), std::nullopt);
}

}  // namespace
}  // namespace sparvik
