// The shared sweep record: initial values, cells shared across copies and threads, accessors and
// their log records, and the debug forms.
#include "structs/connection_info.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/log/log.hpp"
#include "structs/debug_tree.hpp"

namespace sparvik {
namespace {

using log::Level;
using log::testing::Capture;
using log::testing::CapturedRecord;

// Polls until `done` holds or five seconds pass.
bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(ConnectionInfoRecord, NewRecordHoldsTheInitialValues) {
  const ConnectionInfo info;
  EXPECT_EQ(info.points, 11u);
  EXPECT_EQ(info.baudrate, 115200u);
  EXPECT_EQ(info.port, "");
  EXPECT_EQ(info.repeat, 1u);
  EXPECT_EQ(info.start, 240u);
  EXPECT_EQ(info.stop, 960u);
  EXPECT_EQ(info.progress.get(), 0u);
  EXPECT_FALSE(info.return_data.get().has_value());
  EXPECT_EQ(info.scan_info.get(), "");
  EXPECT_EQ(info.get_scan_message(), "");
  EXPECT_EQ(info.file_name.get(), "");
  EXPECT_EQ(info.get_connection_status(), ConnectionStatus::Uninitialised);
  EXPECT_FALSE(info.error_raised.get().has_value());
}

TEST(ConnectionInfoRecord, TwoNewRecordsShareNothing) {
  const ConnectionInfo a;
  const ConnectionInfo b;
  a.update_progress(7);
  EXPECT_EQ(b.progress.get(), 0u);
  EXPECT_FALSE(a.progress.shares_with(b.progress));
}

TEST(ConnectionInfoRecord, CopiesShareEveryCellButNoPlainField) {
  ConnectionInfo original;
  {
    ConnectionInfo copy = original.clone();
    EXPECT_EQ(original.progress.holders(), 2);
    EXPECT_EQ(original.error_raised.holders(), 2);

    copy.update_progress(42);
    copy.return_data.set(SweepPoints{{240.0, -80.5}});
    copy.update_scan_info("tinySA4 v1.4");
    copy.update_message("Sending scanraw");
    copy.file_name.set("scan_20240101 10_00_00.csv");
    copy.set_connection_status(ConnectionStatus::ScanStarted);
    copy.set_error(SparvikUIError::NoReturnData());

    EXPECT_EQ(original.progress.get(), 42u);
    EXPECT_EQ(original.return_data.get(),
              (std::optional<SweepPoints>(SweepPoints{{240.0, -80.5}})));
    EXPECT_EQ(original.scan_info.get(), "tinySA4 v1.4");
    EXPECT_EQ(original.get_scan_message(), "Sending scanraw");
    EXPECT_EQ(original.file_name.get(), "scan_20240101 10_00_00.csv");
    EXPECT_EQ(original.get_connection_status(), ConnectionStatus::ScanStarted);
    ASSERT_TRUE(original.error_raised.get());
    EXPECT_EQ(original.error_raised.get()->kind(), SparvikUIError::Kind::NoReturnData);

    copy.port = "/dev/ttyACM0";
    copy.points = 10001;
    copy.baudrate = 9600;
    copy.repeat = 3;
    copy.start = 240'000'000;
    copy.stop = 960'000'000;
    EXPECT_EQ(original.port, "");
    EXPECT_EQ(original.points, 11u);
    EXPECT_EQ(original.baudrate, 115200u);
    EXPECT_EQ(original.repeat, 1u);
    EXPECT_EQ(original.start, 240u);
    EXPECT_EQ(original.stop, 960u);
  }
  EXPECT_EQ(original.progress.holders(), 1);
}

TEST(ConnectionInfoRecord, ProgressIsStoredWithoutBound) {
  const ConnectionInfo info;
  for (std::uint64_t value : {std::uint64_t{100}, std::uint64_t{150}, UINT64_MAX}) {
    info.update_progress(value);
    EXPECT_EQ(info.progress.get(), value);
  }
}

TEST(ConnectionInfoRecord, TakingTheResultLeavesTheCellEmpty) {
  const ConnectionInfo info;
  const ConnectionInfo screen = info.clone();
  info.return_data.set(SweepPoints{{1.0, 2.0}, {3.0, 4.0}});
  const auto taken = screen.return_data.take();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->size(), 2u);
  EXPECT_FALSE(info.return_data.get());
}

// A worker updating cells while the screens read them through another copy; run under TSan.
TEST(ConnectionInfoRecord, WorkerAndScreenThreadsShareTheCells) {
  const ConnectionInfo screen;
  constexpr std::uint64_t last = 2000;
  std::thread worker([sweep = screen.clone()] {
    sweep.set_connection_status(ConnectionStatus::Connected);
    for (std::uint64_t i = 0; i <= last; ++i) {
      sweep.update_progress(i);
      sweep.update_message("step " + std::to_string(i));
    }
    sweep.return_data.set(SweepPoints{{240.0, -50.0}});
    sweep.set_connection_status(ConnectionStatus::ClosedWithSuccess);
  });

  std::uint64_t previous = 0;
  bool regressed = false;
  while (screen.get_connection_status() != ConnectionStatus::ClosedWithSuccess) {
    const std::uint64_t now = screen.progress.get();
    if (now < previous) regressed = true;
    previous = now;
    const std::string message = screen.get_scan_message();
    if (!message.empty() && message.rfind("step ", 0) != 0) regressed = true;
  }
  worker.join();

  EXPECT_FALSE(regressed);
  EXPECT_EQ(screen.progress.get(), last);
  EXPECT_EQ(screen.get_scan_message(), "step " + std::to_string(last));
  EXPECT_TRUE(screen.return_data.get());
}

TEST(ConnectionInfoErrors, SetErrorReplacesAndEmptiesWithARecordEachTime) {
  Capture capture("trace");
  const ConnectionInfo info;
  info.set_error(SparvikUIError::ScanError(SparvikError::NoVersionFound()));
  info.set_error(SparvikUIError::NoPortSelected());
  ASSERT_TRUE(info.error_raised.get());
  EXPECT_EQ(info.error_raised.get()->kind(), SparvikUIError::Kind::NoPortSelected);

  info.set_error(std::nullopt);
  EXPECT_FALSE(info.error_raised.get());

  const std::string target = "sparvik::structs";
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{
                {Level::Error, target, target, "Error: Some(ScanError(NoVersionFound))"},
                {Level::Error, target, target, "Error: Some(NoPortSelected)"},
                {Level::Error, target, target, "Error: None"},
            }));
}

// Each logging accessor, the record it writes, how to hold its cell's lock, and what it stored.
struct LoggingAccessor {
  const char* name;
  std::function<void(const ConnectionInfo&)> call;
  Level level;
  std::string message;
  std::function<void(const ConnectionInfo&, const std::function<void()>&)> while_locked;
  std::function<bool(const ConnectionInfo&)> stored;
};

template <class T>
std::function<void(const ConnectionInfo&, const std::function<void()>&)> holding(
    SharedCell<T> ConnectionInfo::*cell) {
  return [cell](const ConnectionInfo& info, const std::function<void()>& body) {
    (info.*cell).with([&](T&) { body(); });
  };
}

std::vector<LoggingAccessor> logging_accessors() {
  return {
      {"update_message", [](const ConnectionInfo& i) { i.update_message("Sending {info}"); },
       Level::Trace, "Message: Sending {info}", holding(&ConnectionInfo::scan_message),
       [](const ConnectionInfo& i) { return i.get_scan_message() == "Sending {info}"; }},
      {"update_progress", [](const ConnectionInfo& i) { i.update_progress(150); }, Level::Trace,
       "Progress: 150", holding(&ConnectionInfo::progress),
       [](const ConnectionInfo& i) { return i.progress.get() == 150; }},
      {"update_scan_info",
       [](const ConnectionInfo& i) { i.update_scan_info("tinySA v1.4\nHW 0.3"); }, Level::Info,
       "Info: tinySA v1.4\nHW 0.3", holding(&ConnectionInfo::scan_info),
       [](const ConnectionInfo& i) { return i.scan_info.get() == "tinySA v1.4\nHW 0.3"; }},
      {"set_error",
       [](const ConnectionInfo& i) {
         i.set_error(SparvikUIError::ScanError(SparvikError::ParseEnd("Wrong alignement char")));
       },
       Level::Error, R"(Error: Some(ScanError(ParseEnd("Wrong alignement char"))))",
       holding(&ConnectionInfo::error_raised),
       [](const ConnectionInfo& i) { return i.error_raised.get().has_value(); }},
      {"set_connection_status",
       [](const ConnectionInfo& i) { i.set_connection_status(ConnectionStatus::ScanStarted); },
       Level::Info, "Status: ScanStarted", holding(&ConnectionInfo::connection_status),
       [](const ConnectionInfo& i) {
         return i.get_connection_status() == ConnectionStatus::ScanStarted;
       }},
  };
}

TEST(ConnectionInfoLogging, EachAccessorWritesOneRecordAndStores) {
  for (const auto& accessor : logging_accessors()) {
    SCOPED_TRACE(accessor.name);
    Capture capture("trace");
    const ConnectionInfo info;
    accessor.call(info);
    EXPECT_TRUE(accessor.stored(info));
    const std::string target = "sparvik::structs";
    EXPECT_EQ(capture.records(),
              (std::vector<CapturedRecord>{{accessor.level, target, target, accessor.message}}));
  }
}

TEST(ConnectionInfoLogging, RecordIsWrittenBeforeTheLockIsTaken) {
  for (const auto& accessor : logging_accessors()) {
    SCOPED_TRACE(accessor.name);
    Capture capture("trace");
    const ConnectionInfo info;
    std::thread caller;
    bool logged_while_locked = false;
    accessor.while_locked(info, [&] {
      caller = std::thread([&] { accessor.call(info); });
      logged_while_locked = eventually([&] { return !capture.records().empty(); });
    });
    caller.join();
    EXPECT_TRUE(logged_while_locked);
    EXPECT_TRUE(accessor.stored(info));
  }
}

TEST(ConnectionInfoLogging, TraceRecordsAreDroppedByAnInfoFilter) {
  Capture capture("info");
  const ConnectionInfo info;
  info.update_message("Opening connection");
  info.update_progress(5);
  info.set_connection_status(ConnectionStatus::Initialised);
  EXPECT_EQ(info.get_scan_message(), "Opening connection");
  EXPECT_EQ(info.progress.get(), 5u);
  const std::string target = "sparvik::structs";
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{{Level::Info, target, target, "Status: Initialised"}}));
}

TEST(ConnectionStatusForms, DebugNameIsTheBareValueName) {
  const struct {
    ConnectionStatus status;
    const char* name;
  } cases[] = {
      {ConnectionStatus::Uninitialised, "Uninitialised"},
      {ConnectionStatus::Initialised, "Initialised"},
      {ConnectionStatus::Connected, "Connected"},
      {ConnectionStatus::ConnectionFailure, "ConnectionFailure"},
      {ConnectionStatus::ClosedWithSuccess, "ClosedWithSuccess"},
      {ConnectionStatus::ScanStarted, "ScanStarted"},
  };
  for (const auto& c : cases) EXPECT_STREQ(debug_name(c.status), c.name);
}

TEST(ConnectionInfoForms, NewRecordDebugForm) {
  EXPECT_EQ(ConnectionInfo{}.debug(),
            "ConnectionInfo { points: 11, baudrate: 115200, port: \"\", "
            "progress: Mutex { data: 0, poisoned: false, .. }, repeat: 1, "
            "return_data: Mutex { data: None, poisoned: false, .. }, "
            "scan_info: Mutex { data: \"\", poisoned: false, .. }, "
            "scan_message: Mutex { data: \"\", poisoned: false, .. }, start: 240, stop: 960, "
            "file_name: Mutex { data: \"\", poisoned: false, .. }, "
            "connection_status: Mutex { data: Uninitialised, poisoned: false, .. }, "
            "error_raised: Mutex { data: None, poisoned: false, .. } }");
}

ConnectionInfo filled_record() {
  ConnectionInfo info;
  info.port = "/dev/tty\"A\"";
  info.return_data.set(SweepPoints{{240.0, -34.25}, {960.5, -100.0}});
  info.scan_message.set("Done\n");
  info.connection_status.set(ConnectionStatus::ClosedWithSuccess);
  info.error_raised.set(SparvikUIError::ScanError(SparvikError::NoVersionFound()));
  return info;
}

TEST(ConnectionInfoForms, FilledRecordDebugForm) {
  const std::string debug = filled_record().debug();
  for (const char* part : {
           R"(port: "/dev/tty\"A\"")",
           "return_data: Mutex { data: Some([(240.0, -34.25), (960.5, -100.0)]), poisoned: "
           "false, .. }",
           R"(scan_message: Mutex { data: "Done\n", poisoned: false, .. })",
           "connection_status: Mutex { data: ClosedWithSuccess, poisoned: false, .. }",
           "error_raised: Mutex { data: Some(ScanError(NoVersionFound)), poisoned: false, .. } }",
       }) {
    EXPECT_NE(debug.find(part), std::string::npos) << part << "\nin\n" << debug;
  }
}

TEST(ConnectionInfoForms, CellLockedElsewhereShowsAsLocked) {
  const ConnectionInfo info;
  std::promise<void> locked;
  std::promise<void> release;
  std::thread holder([&] {
    info.error_raised.with([&](auto&) {
      locked.set_value();
      release.get_future().wait();
    });
  });
  locked.get_future().wait();
  const std::string debug = info.debug();
  release.set_value();
  holder.join();
  EXPECT_NE(debug.find("error_raised: Mutex { data: <locked>, poisoned: false, .. }"),
            std::string::npos)
      << debug;
  EXPECT_NE(debug.find("progress: Mutex { data: 0, poisoned: false, .. }"), std::string::npos);
}

TEST(ConnectionInfoForms, PrettyFormPutsEveryFieldOnItsOwnLine) {
  const std::string expected = R"(ConnectionInfo {
    points: 11,
    baudrate: 115200,
    port: "/dev/tty\"A\"",
    progress: Mutex {
        data: 0,
        poisoned: false,
        ..
    },
    repeat: 1,
    return_data: Mutex {
        data: Some(
            [
                (240.0, -34.25),
                (960.5, -100.0),
            ],
        ),
        poisoned: false,
        ..
    },
    scan_info: Mutex {
        data: "",
        poisoned: false,
        ..
    },
    scan_message: Mutex {
        data: "Done\n",
        poisoned: false,
        ..
    },
    start: 240,
    stop: 960,
    file_name: Mutex {
        data: "",
        poisoned: false,
        ..
    },
    connection_status: Mutex {
        data: ClosedWithSuccess,
        poisoned: false,
        ..
    },
    error_raised: Mutex {
        data: Some(
            ScanError(NoVersionFound),
        ),
        poisoned: false,
        ..
    },
})";
  EXPECT_EQ(filled_record().debug_pretty(), expected);
}

TEST(DebugForms, FloatsAlwaysShowAPointOrAnExponent) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {240.0, "240.0"},
      {-34.25, "-34.25"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {0.1, "0.1"},
      {1e16, "1e16"},
      {1.5e-7, "1.5e-7"},
      {123456.789, "123456.789"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(debug_float(c.value), c.text) << c.text;
}

TEST(DebugForms, EmptyShapes) {
  EXPECT_EQ(DebugNode::list({}).compact(), "[]");
  EXPECT_EQ(DebugNode::list({}).pretty(), "[]");
  EXPECT_EQ(DebugNode::wrapper("Some", DebugNode::list({})).pretty(), "Some(\n    [],\n)");
  EXPECT_EQ(DebugNode::record("Empty", {}).compact(), "Empty");
  EXPECT_EQ(DebugNode::record("Mutex", {}, true).compact(), "Mutex { .. }");
}

TEST(DebugForms, MultiLineLeafKeepsItsIndentation) {
  const auto node = DebugNode::record("Outer", {{"report", DebugNode::leaf("first\nsecond")}});
  EXPECT_EQ(node.pretty(), "Outer {\n    report: first\n    second,\n}");
}

}  // namespace
}  // namespace sparvik
