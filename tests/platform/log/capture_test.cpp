// The in-memory capture for tests, and that unadmitted records are never formatted.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/log/log.hpp"

namespace {
// Counts how often it is formatted.
struct Counted {
  int* formatted;
};
}  // namespace

template <>
struct fmt::formatter<Counted> : fmt::formatter<std::string_view> {
  auto format(const Counted& counted, fmt::format_context& ctx) const {
    ++*counted.formatted;
    return fmt::formatter<std::string_view>::format("counted", ctx);
  }
};

namespace sparvik::log {
namespace {

using testing::Capture;
using testing::CapturedRecord;

TEST(Admission, MessageIsFormattedOnlyForAdmittedRecords) {
  const struct {
    std::optional<std::string_view> capture_filter;  // none: nothing installed
    Level level;
    std::string_view target;
    bool formatted;
  } cases[] = {
      {std::nullopt, Level::Error, "sparvik::scan", false},
      {"info, my::critical::module=trace", Level::Info, "sparvik::scan", true},
      {"info, my::critical::module=trace", Level::Debug, "sparvik::scan", false},
      {"info, my::critical::module=trace", Level::Trace, "my::critical::module", true},
      {"off", Level::Error, "sparvik::scan", false},
      {"error, sparvik::scan=trace", Level::Trace, "sparvik::scan", true},
      {"error, sparvik::scan=trace", Level::Trace, "sparvik::ui", false},
  };
  for (const auto& c : cases) {
    std::optional<Capture> capture;
    if (c.capture_filter) capture.emplace(*c.capture_filter);
    int formatted = 0;
    int side_effects = 0;
    SPARVIK_LOG(c.level, Origin(c.target, "m"), "{} {}", Counted{&formatted}, ++side_effects);
    EXPECT_EQ(formatted, c.formatted ? 1 : 0)
        << c.capture_filter.value_or("<none>") << " " << level_name(c.level) << " " << c.target;
    EXPECT_EQ(side_effects, formatted);
    if (capture) {
      EXPECT_EQ(capture->records().size(), c.formatted ? 1u : 0u);
    }
  }
}

TEST(Admission, NothingIsEnabledOnceTheCaptureIsGone) {
  {
    Capture capture;
    EXPECT_TRUE(enabled(Level::Trace, "x"));
    EXPECT_TRUE(level_enabled(Level::Trace));
  }
  EXPECT_FALSE(enabled(Level::Error, "x"));
  EXPECT_FALSE(level_enabled(Level::Error));
  write(Level::Error, "x", "goes nowhere");  // must not crash
}

TEST(Capture, KeepsEveryFieldFromEveryThreadAndSelectsByTarget) {
  Capture capture("info");
  SPARVIK_LOG(Level::Info, Origin("info", "sparvik"), "Logging started");
  std::jthread([] {
    SPARVIK_LOG(Level::Warn, Origin("scan", "sparvik::scan"), "pending {}", 3);
    SPARVIK_LOG(Level::Debug, Origin("scan", "sparvik::scan"), "dropped");
  }).join();
  SPARVIK_LOG(Level::Error, Origin("scan", "sparvik::scan"), "again");

  const std::vector<CapturedRecord> all = {
      {Level::Info, "info", "sparvik", "Logging started"},
      {Level::Warn, "scan", "sparvik::scan", "pending 3"},
      {Level::Error, "scan", "sparvik::scan", "again"},
  };
  EXPECT_EQ(capture.records(), all);
  EXPECT_EQ(capture.records_for("scan"), (std::vector<CapturedRecord>{all[1], all[2]}));
  EXPECT_TRUE(capture.records_for("sparvik").empty());  // by target, not by module path
  capture.clear();
  EXPECT_TRUE(capture.records().empty());
}

TEST(Capture, ConcurrentWritersAreAllKept) {
  Capture capture;
  constexpr int kThreads = 4;
  constexpr int kRecords = 500;
  {
    std::vector<std::jthread> writers;
    for (int t = 0; t < kThreads; ++t) {
      writers.emplace_back([t] {
        for (int i = 0; i < kRecords; ++i) {
          SPARVIK_LOG(Level::Trace, "sparvik::structs", "{}", t);
        }
      });
    }
  }
  std::vector<int> per_thread(kThreads, 0);
  for (const CapturedRecord& record : capture.records()) ++per_thread.at(std::stoi(record.message));
  EXPECT_EQ(per_thread, std::vector<int>(kThreads, kRecords));
}

TEST(Capture, RecordsRacingReinstallsReachOnlyTheFilterInPlace) {
  std::atomic<bool> stop{false};
  std::vector<std::jthread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([&stop] {
      while (!stop.load()) {
        SPARVIK_LOG(Level::Info, "sparvik::scan", "info");
        SPARVIK_LOG(Level::Error, "sparvik::scan", "error");
      }
    });
  }
  for (int round = 0; round < 200; ++round) {
    const bool errors_only = round % 2 == 0;
    Capture capture(errors_only ? "error" : "info");
    std::this_thread::yield();
    for (const CapturedRecord& record : capture.records()) {
      EXPECT_TRUE(!errors_only || record.level == Level::Error) << round << " " << record.message;
    }
  }
  stop = true;
}

TEST(Capture, RefusesABadFilterOrASecondCapture) {
  EXPECT_THROW(Capture("loud"), std::invalid_argument);
  Capture first;
  EXPECT_THROW(Capture(), std::logic_error);
  SPARVIK_LOG(Level::Info, Origin("t", "m"), "still here");
  EXPECT_EQ(first.records().size(), 1u);
}

}  // namespace
}  // namespace sparvik::log
