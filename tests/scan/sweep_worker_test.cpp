// Whole sweeps against the simulated analyser over a real pseudo-terminal: the bytes the analyser
// receives, what the worker publishes in the shared cells and in the log, the CSV file, and every
// way a sweep can fail. Each sweep takes seconds (the dialogue has fixed pauses), so each test
// runs one or two.
#include "scan/sweep_worker.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/log/log.hpp"
#include "platform/serial/serial_port.hpp"
#include "scan/command_channel.hpp"
#include "scan/error_payload.hpp"
#include "scan/measurement_time.hpp"
#include "scan/scanraw_reader.hpp"
#include "sim/simulated_analyser.hpp"
#include "support/temp_dir.hpp"

namespace sparvik::scan {
namespace {

using namespace std::chrono_literals;
using log::Level;
using log::testing::CapturedRecord;
using test_support::read_file;
using test_support::TempDir;

constexpr std::uint64_t MHz = 1'000'000;

struct Sweep {
  std::vector<CapturedRecord> records;
  std::string received;                 // what the analyser got
  std::vector<std::uint64_t> progress;  // each value the sweep screen would have seen, in turn
  sim::Clock::time_point ended;         // when the final status was seen
};

bool is_final(ConnectionStatus status) {
  return status == ConnectionStatus::ClosedWithSuccess ||
         status == ConnectionStatus::ConnectionFailure;
}

// Runs the worker on its own thread with two copies of `info`, reading the cells meanwhile as the
// sweep screen does, and returns once it has ended. A sweep still running after two minutes fails
// the test, and the analyser hangs up so that the worker ends.
// `observer` sees each log record as it is written.
Sweep run(const ConnectionInfo& info, const TempDir& dir, sim::SimulatedAnalyser* analyser,
          std::function<void(const CapturedRecord&)> observer = {}) {
  log::testing::Capture capture("trace");
  if (observer) capture.observe(std::move(observer));
  std::thread worker(run_sweep_writing_to, info.clone(), info.clone(), dir.path().string());
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  bool overran = false;
  std::vector<std::uint64_t> progress;
  while (!is_final(info.get_connection_status())) {
    const std::uint64_t now = info.progress.get();
    if (progress.empty() || progress.back() != now) progress.push_back(now);
    (void)info.get_scan_message();
    if (!overran && analyser != nullptr && std::chrono::steady_clock::now() > give_up) {
      ADD_FAILURE() << "the sweep did not end";
      overran = true;
      analyser->hang_up();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  const auto ended = sim::Clock::now();
  worker.join();
  return {capture.records(), analyser != nullptr ? analyser->received() : std::string(),
          std::move(progress), ended};
}

ConnectionInfo request(std::string port, std::uint64_t start, std::uint64_t stop,
                       std::uint64_t points) {
  ConnectionInfo info;
  info.port = std::move(port);
  info.baudrate = 115200;
  info.start = start;
  info.stop = stop;
  info.points = points;
  info.repeat = 1;
  return info;
}

// The messages of records from `target` whose message starts with `prefix`, without the prefix.
std::vector<std::string> published(const Sweep& sweep, std::string_view prefix,
                                   std::string_view target = "sparvik::structs") {
  std::vector<std::string> values;
  for (const auto& r : sweep.records) {
    if (r.target == target && r.message.starts_with(prefix)) {
      values.push_back(r.message.substr(prefix.size()));
    }
  }
  return values;
}

// Lines of a CSV file, counted.
std::size_t line_count(const std::string& csv) {
  return static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n'));
}

std::string stored_error(const ConnectionInfo& info) {
  return debug_optional(info.error_raised.get());
}

// The commands the worker sends for a request from 100 to 200 MHz with 11 points and repeat 1,
// with the step message shown while each is sent and the wait before its reply is read.
struct DialogueStep {
  const char* command;
  const char* message;
  int wait_ms;
};
const DialogueStep kLowSteps[] = {
    {"version", "Acquiring version & info", 20},
    {"info", "Acquiring version & info", 20},
    {"leveloffset", "Acquiring version & info", 20},
    {"vbat", "Acquiring version & info", 20},
    {"usart_cfg", "Acquiring version & info", 20},
    {"threads", "Acquiring version & info", 20},
    {"zero 128", "Setting zero...", 20},
    {"marker", "Setting up marker", 20},
    {"pause", "Setting up marker", 20},
    {"mode low input", "Setting up scan & mode", 20},
    {"repeat 1", "Setting up repeat", 20},
    {"sweep start 100000000", "Setting up sweep", 20},
    {"sweep stop 200000000", "Setting up sweep", 20},
    {"sweep", "Sweeping...", 20},
    {"scan 100000000 200000000 290 101", "Sweeping...", 2000},
    {"scanraw 100000000 200000000 11", "Starting scan...", 20},
    {"resume", "Scan finished", 20},
};
constexpr std::size_t kScanrawStep = 15;

// What the worker sends before "scanraw" for that request.
std::string dialogue_before(std::size_t step) {
  std::string sent;
  for (std::size_t i = 0; i < step; ++i) sent += std::string(kLowSteps[i].command) + "\r";
  return sent;
}
const std::string kLowDialogue = dialogue_before(kScanrawStep);

TEST(RunSweep, RunsTheDialogueAndPublishesPointsFileAndStatus) {
  sim::SimConfig config;
  config.banner = true;
  config.levels = {4096, 3000, 0};
  config.replies = {
      {"leveloffset", "L\r\n"}, {"vbat", "V\r\n"}, {"usart_cfg", "U\r\n"}, {"threads", "T\r\n"}};
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  const Sweep sweep = run(info, dir, analyser.get());

  EXPECT_EQ(sweep.received, kLowDialogue + "scanraw 100000000 200000000 11\rresume\r");
  EXPECT_EQ(
      published(sweep, "Status: "),
      (std::vector<std::string>{"Initialised", "Connected", "ScanStarted", "ClosedWithSuccess"}));
  EXPECT_EQ(published(sweep, "Progress: "),
            (std::vector<std::string>{"5", "15", "16", "17", "18", "19", "20", "22", "100"}));
  EXPECT_EQ(
      published(sweep, "Message: "),
      (std::vector<std::string>{"Opening connection", "Initialisation...",
                                "Acquiring version & info", "Setting zero...", "Setting up marker",
                                "Setting up scan & mode", "Setting up repeat", "Setting up sweep",
                                "Sweeping...", "Starting scan...", "Scan finished"}));
  EXPECT_EQ(info.progress.get(), 100u);
  EXPECT_EQ(info.get_scan_message(), "Scan finished");
  EXPECT_EQ(info.get_connection_status(), ConnectionStatus::ClosedWithSuccess);
  EXPECT_EQ(stored_error(info), "None");

  std::string device = "version\r\n" + config.version + "\r\ninfo\r\n";
  for (const auto& line : config.info) device += line + "\r\n";
  EXPECT_EQ(info.scan_info.get(), device);

  // Levels cycle 0, -34.25, -128 dBm; frequencies step by 10 MHz.
  const std::string csv =
      "100,0\n110,-34.25\n120,-128\n130,0\n140,-34.25\n150,-128\n160,0\n170,-34.25\n180,-128\n"
      "190,0\n200,-34.25\n";
  const auto points = info.return_data.get();
  ASSERT_TRUE(points.has_value());
  ASSERT_EQ(points->size(), 11u);
  EXPECT_EQ(points->front(), (SweepPoint{100.0, 0.0}));
  EXPECT_EQ(points->back(), (SweepPoint{200.0, -34.25}));
  const std::string file_name = info.file_name.get();
  EXPECT_EQ(dir.file_names(), std::vector<std::string>{file_name});
  EXPECT_EQ(read_file(dir.path() / file_name), csv);

  EXPECT_EQ(published(sweep, "", "scan"),
            (std::vector<std::string>{"Pre-init data found", R"("\r\ntinySA Shell\r\n")"}));
  for (const auto& r : sweep.records) {
    if (r.target == "scan") {
      EXPECT_EQ(r.module_path, "sparvik::scan");
    }
  }
  const CapturedRecord joined{
      Level::Info, "sparvik::scan", "sparvik::scan",
      "leveloffset\r\nL\r\nvbat\r\nV\r\nusart_cfg\r\nU\r\nthreads\r\nT\r\n"};
  EXPECT_NE(std::find(sweep.records.begin(), sweep.records.end(), joined), sweep.records.end());
  EXPECT_EQ(published(sweep, "Info: "), std::vector<std::string>{device});
  EXPECT_EQ(published(sweep, "End at ", "sparvik::scan").size(), 1u);
  EXPECT_TRUE(published(sweep, "", "sparvik::ui").empty());
}

// The sweep screen takes the points once it sees the final status: they, the file name and the
// full gauge are published before it. The status record comes before the status is stored.
TEST(RunSweep, PublishesPointsFileNameAndProgressBeforeTheFinalStatus) {
  auto analyser = sim::SimulatedAnalyser::start({});
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  struct Seen {
    std::size_t points;
    std::string file_name;
    std::uint64_t progress;
  };
  std::vector<Seen> seen;  // at each record of the final status
  const Sweep sweep = run(info, dir, analyser.get(), [&](const CapturedRecord& record) {
    if (record.message != "Status: ClosedWithSuccess") return;
    const auto points = info.return_data.get();
    seen.push_back({points ? points->size() : 0, info.file_name.get(), info.progress.get()});
  });
  ASSERT_EQ(info.get_connection_status(), ConnectionStatus::ClosedWithSuccess);
  ASSERT_FALSE(info.file_name.get().empty());
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].points, 11u);
  EXPECT_EQ(seen[0].file_name, info.file_name.get());
  EXPECT_EQ(seen[0].progress, 100u);
}

struct WholeReply {
  const char* name;
  sim::SimConfig config;
  std::uint64_t start, stop, points;
  std::string first_line, last_line;  // of the CSV file
  std::size_t gauge_steps;            // values between 22 and 100 seen while the reply came
};

void PrintTo(const WholeReply& reply, std::ostream* out) {
  *out << reply.name;
}

class RunSweepWithWholeReply : public ::testing::TestWithParam<WholeReply> {};

// The analyser as it is, nothing pending: its reply ends in a lone "}" right before the prompt.
TEST_P(RunSweepWithWholeReply, FinishesAndResumesTheAnalyser) {
  const WholeReply& c = GetParam();
  auto analyser = sim::SimulatedAnalyser::start(c.config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), c.start, c.stop, c.points);
  const Sweep sweep = run(info, dir, analyser.get());
  EXPECT_EQ(stored_error(info), "None");
  EXPECT_EQ(info.get_connection_status(), ConnectionStatus::ClosedWithSuccess);
  EXPECT_TRUE(sweep.received.ends_with(
      fmt::format("scanraw {} {} {}\rresume\r", c.start, c.stop, c.points)))
      << sweep.received;
  EXPECT_EQ(info.progress.get(), 100u);
  const auto points = info.return_data.get();
  ASSERT_TRUE(points.has_value());
  EXPECT_EQ(points->size(), c.points);
  const std::string csv = read_file(dir.path() / info.file_name.get());
  EXPECT_EQ(line_count(csv), c.points);
  EXPECT_TRUE(csv.starts_with(c.first_line + "\n")) << csv.substr(0, 40);
  EXPECT_TRUE(csv.ends_with("\n" + c.last_line + "\n")) << csv.substr(csv.size() - 40);
  std::vector<std::uint64_t> rising;
  for (auto value : sweep.progress) {
    if (value > 22 && value < 100) rising.push_back(value);
  }
  EXPECT_GE(rising.size(), c.gauge_steps) << "the gauge stood still while the reply came";
  EXPECT_TRUE(std::ranges::is_sorted(rising));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RunSweepWithWholeReply,
    ::testing::Values(
        WholeReply{"AnalysersDefault", {}, 100 * MHz, 200 * MHz, 11, "100,-90", "200,-89.8125", 0},
        // 201 points in 11 blocks, measured in 0.1 s each: a reply of a second, which the gauge
        // follows.
        WholeReply{
            "MeasuredBlocks", {.levels = {4096}}, 240 * MHz, 960 * MHz, 201, "240,0", "960,0", 5}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(RunSweep, RefusesABadRequestBeforeThePortWithTheStatusStillUninitialised) {
  const struct {
    std::uint64_t start, stop, points;
    std::string error;
  } cases[] = {
      {200 * MHz, 100 * MHz, 11,
       R"(BadScanFrequencies("Start frequency 200000000Hz is higher than stop frequency 100000000Hz"))"},
      {100 * MHz, 500 * MHz, 11,
       R"x(BadScanFrequencies("Scan frequencies must either be in range (0MHz-240MHz) or (240MHz-960MHz)"))x"},
      {100 * MHz, 200 * MHz, 1,
       R"(BadScanFrequencies("Number of points must be at least 2, got 1"))"},
      {100 * MHz, 200 * MHz, 6'148'914'691'236'517'205,  // 3 × points + 6 would wrap round
       R"x(BadScanFrequencies("Number of points 6148914691236517205 is more than can be swept (576460752303423487 at most)"))x"},
  };
  auto analyser = sim::SimulatedAnalyser::start({});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    TempDir dir("sparvik-scan");
    const ConnectionInfo info = request(analyser->port_path(), c.start, c.stop, c.points);
    const Sweep sweep = run(info, dir, analyser.get());
    EXPECT_EQ(sweep.received, "");
    EXPECT_EQ(published(sweep, "Status: "), std::vector<std::string>{"ConnectionFailure"});
    EXPECT_TRUE(published(sweep, "Message: ").empty());
    EXPECT_EQ(info.get_scan_message(), "");
    EXPECT_EQ(stored_error(info), "Some(ScanError(" + c.error + "))");
    EXPECT_TRUE(dir.file_names().empty());
    // The failure exit's record comes before set_error's.
    ASSERT_GE(sweep.records.size(), 2u);
    EXPECT_EQ(sweep.records[0].target, "sparvik::ui");
    EXPECT_EQ(sweep.records[0].module_path, "sparvik::ui");
    EXPECT_EQ(sweep.records[0].level, Level::Error);
    EXPECT_TRUE(sweep.records[0].message.starts_with(
        "An error occured during thread exec: The given scan frequencies are inccorect ("));
    EXPECT_EQ(sweep.records[1].message, "Error: Some(ScanError(" + c.error + "))");
  }
}

// Only a settings file brings a count past the screens' maximum; the analyser takes any.
TEST(RunSweep, AsksTheAnalyserForMorePointsThanTheScreensOffer) {
  sim::SimConfig config;
  config.banner = true;
  config.record_count = 5;  // its reply then ends early, which keeps the test short
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 2'000'000);
  const Sweep sweep = run(info, dir, analyser.get());
  EXPECT_NE(sweep.received.find("\rscanraw 100000000 200000000 2000000\r"), std::string::npos);
  EXPECT_EQ(stored_error(info),
            R"(Some(ScanError(ParseEnd("expected 2000000 points, received 5"))))");
}

TEST(RunSweep, KeepsAnErrorAlreadyStored) {
  TempDir dir("sparvik-scan");
  ConnectionInfo info = request((dir.path() / "unused").string(), 200 * MHz, 100 * MHz, 11);
  info.error_raised.set(SparvikUIError::NoPortSelected());
  const Sweep sweep = run(info, dir, nullptr);
  EXPECT_EQ(stored_error(info), "Some(NoPortSelected)");
  EXPECT_TRUE(published(sweep, "Error: ").empty());
  EXPECT_EQ(published(sweep, "Status: "), std::vector<std::string>{"ConnectionFailure"});
}

TEST(RunSweep, MissingPortStoresPortConnectionAtOnceReplacingAnyError) {
  TempDir dir("sparvik-scan");
  ConnectionInfo info = request((dir.path() / "no-such-tty").string(), 100 * MHz, 200 * MHz, 11);
  info.error_raised.set(SparvikUIError::NoPortSelected());
  const Sweep sweep = run(info, dir, nullptr);
  EXPECT_EQ(published(sweep, "Status: "),
            (std::vector<std::string>{"Initialised", "ConnectionFailure"}));
  const auto stored = info.error_raised.get();
  ASSERT_TRUE(stored.has_value());
  ASSERT_EQ(stored->kind(), SparvikUIError::Kind::ScanError);
  const auto* wrapped = stored->payload<SparvikError>();
  ASSERT_NE(wrapped, nullptr);
  EXPECT_EQ(wrapped->kind(), SparvikError::Kind::PortConnection);
  // One set_error record, before the failure exit's own.
  const auto errors = published(sweep, "Error: ");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Some(" + stored->debug() + ")");
  const auto exit_records =
      published(sweep, "An error occured during thread exec: ", "sparvik::ui");
  EXPECT_EQ(exit_records, std::vector<std::string>{"Couldn't connect to the given port"});
  std::size_t set_error_at = 0, exit_at = 0;
  for (std::size_t i = 0; i < sweep.records.size(); ++i) {
    if (sweep.records[i].message.starts_with("Error: ")) set_error_at = i;
    if (sweep.records[i].target == "sparvik::ui") exit_at = i;
  }
  EXPECT_LT(set_error_at, exit_at);
  EXPECT_EQ(info.get_scan_message(), "Opening connection");
}

TEST(RunSweep, PortHeldByAnotherSweepFailsWithPortConnectionAndSendsNothing) {
  auto analyser = sim::SimulatedAnalyser::start({});
  auto holder = serial::open_port(analyser->port_path(), {});
  ASSERT_TRUE(holder.has_value()) << holder.error().debug();
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  const Sweep sweep = run(info, dir, analyser.get());
  EXPECT_EQ(stored_error(info),
            "Some(ScanError(PortConnection(Error { kind: Io(Other), description: \"The port is "
            "in use by another program\" })))");
  EXPECT_EQ(sweep.received, "");
  EXPECT_TRUE(dir.file_names().empty());
}

TEST(RunSweep, SilentAnalyserFailsWithNoVersionFoundAfterAllSixCommands) {
  sim::SimConfig config;
  config.silent = true;
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  const auto began = std::chrono::steady_clock::now();
  const Sweep sweep = run(info, dir, analyser.get());
  // The pending read and each of the six replies end on the 3 s time-out.
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(3040 + 6 * 3220));
  EXPECT_EQ(sweep.received, "version\rinfo\rleveloffset\rvbat\rusart_cfg\rthreads\r");
  EXPECT_EQ(stored_error(info), "Some(ScanError(NoVersionFound))");
  EXPECT_EQ(published(sweep, "Status: "),
            (std::vector<std::string>{"Initialised", "Connected", "ConnectionFailure"}));
  EXPECT_TRUE(published(sweep, "", "scan").empty());  // nothing was pending
  EXPECT_EQ(info.scan_info.get(), "");
  EXPECT_EQ(info.get_scan_message(), "Acquiring version & info");
}

TEST(RunSweep, EmptyInfoReplyFailsWithNoVersionFoundAfterAllSixCommands) {
  sim::SimConfig config;
  config.banner = true;
  config.mute_info = true;
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  const Sweep sweep = run(info, dir, analyser.get());
  // The version was answered; "info" ran into the time-out and the check came after "threads".
  EXPECT_EQ(sweep.received, "version\rinfo\rleveloffset\rvbat\rusart_cfg\rthreads\r");
  EXPECT_EQ(stored_error(info), "Some(ScanError(NoVersionFound))");
  EXPECT_EQ(published(sweep, "Status: "),
            (std::vector<std::string>{"Initialised", "Connected", "ConnectionFailure"}));
  EXPECT_EQ(info.scan_info.get(), "");
  EXPECT_EQ(info.progress.get(), 15u);
}

TEST(RunSweep, BrokenRepliesFailAfterTheFileIsStarted) {
  const struct {
    const char* name;
    sim::SimConfig config;
    std::string error;
    std::string csv;
  } cases[] = {
      {"misaligned record",
       [] {
         sim::SimConfig c;
         c.banner = true;
         c.levels = {4096};
         c.corrupt_record = 3;
         return c;
       }(),
       R"(Some(ScanError(ParseEnd("Wrong alignement char"))))", "100,0\n110,0\n120,0\n"},
      {"no opening brace",
       [] {
         sim::SimConfig c;
         c.banner = true;
         c.omit_brace = true;
         return c;
       }(),
       R"(Some(ScanError(ParseBeggining("{"))))", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto analyser = sim::SimulatedAnalyser::start(c.config);
    TempDir dir("sparvik-scan");
    const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
    const Sweep sweep = run(info, dir, analyser.get());
    EXPECT_EQ(sweep.received, kLowDialogue + "scanraw 100000000 200000000 11\r");
    EXPECT_EQ(stored_error(info), c.error);
    EXPECT_EQ(
        published(sweep, "Status: "),
        (std::vector<std::string>{"Initialised", "Connected", "ScanStarted", "ConnectionFailure"}));
    const auto files = dir.file_names();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(read_file(dir.path() / files[0]), c.csv);
    EXPECT_FALSE(info.return_data.get().has_value());
    EXPECT_EQ(info.file_name.get(), "");
    const std::uint64_t progress = info.progress.get();
    EXPECT_GE(progress, 20u);
    EXPECT_LE(progress, 99u);
    EXPECT_EQ(info.get_scan_message(), "Starting scan...");
  }
}

TEST(RunSweep, FailingResumeLeavesThePublishedResultButFails) {
  sim::SimConfig config;
  config.banner = true;
  config.levels = {3000};
  config.hang_up_after_scanraw = true;
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 240 * MHz, 960 * MHz, 3);
  const Sweep sweep = run(info, dir, analyser.get());
  EXPECT_TRUE(analyser->wait_for_hang_up(std::chrono::seconds(1)));
  EXPECT_EQ(sweep.received.find("resume"), std::string::npos);
  const auto stored = info.error_raised.get();
  ASSERT_TRUE(stored.has_value());
  EXPECT_TRUE(stored->debug().starts_with("ScanError(SendError(")) << stored->debug();
  EXPECT_EQ(published(sweep, "Status: ").back(), "ConnectionFailure");
  EXPECT_EQ(info.get_scan_message(), "Scan finished");
  const auto points = info.return_data.get();
  ASSERT_TRUE(points.has_value());
  EXPECT_EQ(*points, (SweepPoints{{240.0, -34.25}, {600.0, -34.25}, {960.0, -34.25}}));
  EXPECT_EQ(read_file(dir.path() / info.file_name.get()), "240,-34.25\n600,-34.25\n960,-34.25\n");
  EXPECT_NE(published(sweep, "Progress: ").back(), "100");
}

// How long a read of the broken replies' "scanraw" may wait in silence.
const auto kBrokenReplyAllowance =
    measurement_allowance(scanraw_block_time({100 * MHz, 200 * MHz, 11, 1}));

struct BrokenReply {
  const char* name;
  std::function<void(sim::SimConfig&)> configure;
  std::string error;  // ParseEnd's text
  std::size_t csv_lines;
  bool ends_on_silence = false;  // waits out its allowance for bytes that never come
};

void PrintTo(const BrokenReply& reply, std::ostream* out) {
  *out << reply.name;
}

class RunSweepWithBrokenReply : public ::testing::TestWithParam<BrokenReply> {};

// A reply cut short, held up past its allowance or holding the wrong number of records is a
// failure with the lines decoded so far on disc, never a finished sweep; and it ends no later
// than one allowance after the analyser's last byte.
TEST_P(RunSweepWithBrokenReply, FailsWithParseEndKeepingTheLinesWritten) {
  sim::SimConfig config;
  config.banner = true;
  config.levels = {4096};
  GetParam().configure(config);
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  const Sweep sweep = run(info, dir, analyser.get());
  EXPECT_EQ(sweep.received.substr(0, kLowDialogue.size()), kLowDialogue);
  EXPECT_EQ(sweep.received.find("resume"), std::string::npos);
  EXPECT_EQ(stored_error(info), "Some(ScanError(ParseEnd(\"" + GetParam().error + "\")))");
  EXPECT_EQ(
      published(sweep, "Status: "),
      (std::vector<std::string>{"Initialised", "Connected", "ScanStarted", "ConnectionFailure"}));
  EXPECT_FALSE(info.return_data.get().has_value());
  EXPECT_EQ(info.file_name.get(), "");
  const auto files = dir.file_names();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(line_count(read_file(dir.path() / files[0])), GetParam().csv_lines);
  EXPECT_LE(info.progress.get(), 99u);

  const auto exchanges = analyser->exchanges();
  const auto scanraw = std::ranges::find_if(
      exchanges, [](const sim::Exchange& e) { return e.command.starts_with("scanraw"); });
  ASSERT_NE(scanraw, exchanges.end());
  // At repeat 1 a read waits a fraction of a second longer than the 3 s of any other reply.
  EXPECT_LT(kBrokenReplyAllowance, 3500ms);
  EXPECT_LT(sweep.ended - scanraw->received.latest,
            scanraw_time({100 * MHz, 200 * MHz, 11, 1}) + kBrokenReplyAllowance + 1s);
  if (GetParam().ends_on_silence) {
    EXPECT_GE(sweep.ended - scanraw->received.earliest, kBrokenReplyAllowance);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RunSweepWithBrokenReply,
    ::testing::Values(
        // 16 bytes: the "{" and five records.
        BrokenReply{"HangUpMidReply", [](sim::SimConfig& c) { c.scanraw_hang_up_at = 16; },
                    "expected 11 points, received 5", 5},
        BrokenReply{"SilentLongerThanItsAllowance",
                    [](sim::SimConfig& c) {
                      c.scanraw_stall_at = 16;
                      c.scanraw_stall = kBrokenReplyAllowance + 500ms;
                    },
                    "expected 11 points, received 5", 5, true},
        BrokenReply{"FewerRecords", [](sim::SimConfig& c) { c.record_count = 5; },
                    "expected 11 points, received 5", 5},
        // A measurement interrupted on the analyser: "}" after 5 records, and no prompt.
        BrokenReply{"InterruptedOnTheDevice",
                    [](sim::SimConfig& c) {
                      c.record_count = 5;
                      c.no_prompt_after_scanraw = true;
                    },
                    "expected 11 points, received 5", 5, true},
        BrokenReply{"MoreRecords", [](sim::SimConfig& c) { c.record_count = 22; },
                    "expected 11 points, received 22", 22},
        // Endless records: collection stops at the cap. The echo of the command (32 bytes) and
        // "{" come first, then as many whole records as fit in 3 × 11 + 6 + the margin.
        BrokenReply{"EndlessRecords", [](sim::SimConfig& c) { c.flood_after = "scanraw"; },
                    fmt::format("expected 11 points, received {}",
                                (3 * 11 + 6 + kScanrawReplyMargin - 33) / 3),
                    (3 * 11 + 6 + kScanrawReplyMargin - 33) / 3}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(RunSweep, DeviceThatNeverStopsSendingGetsTheWholeDialogueAndFails) {
  sim::SimConfig config;
  config.banner = true;
  config.flood_after = "version";
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  const Sweep sweep = run(info, dir, analyser.get());
  // Every reply ends at its cap, so the dialogue goes on as usual; the flood holds no "{".
  EXPECT_EQ(sweep.received, kLowDialogue + "scanraw 100000000 200000000 11\r");
  EXPECT_EQ(stored_error(info), R"(Some(ScanError(ParseBeggining("{"))))");
  EXPECT_EQ(published(sweep, "Status: ").back(), "ConnectionFailure");
  EXPECT_TRUE(info.scan_info.get().starts_with("version\r\nnoise without end\r\n"));
  EXPECT_EQ(info.scan_info.get().size(), 2 * kMaxCommandReply);
}

// The 290 lines of a real "scan" reply fill the pty while the worker still waits, so the worker
// is already reading when the prompt comes (the analyser cannot tell when it was read), and the
// prompt may arrive split between two reads (a read time-out). Tests that time the dialogue or
// act on the reading of a reply take a short one.
const std::map<std::string, std::string> kShortScanReply = {{"scan", "done\r\n"}};

class RunSweepWithHangUp : public ::testing::TestWithParam<std::size_t> {};

// The analyser goes away just before the worker writes command k: the write fails, and the sweep
// ends at once with SendError, having sent nothing further.
TEST_P(RunSweepWithHangUp, FailsWithSendErrorAtTheCommandItCouldNotWrite) {
  const std::size_t step = GetParam();
  sim::SimConfig config;
  config.banner = true;
  config.hang_up_after_replies = step;
  config.replies = kShortScanReply;
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  const Sweep sweep = run(info, dir, analyser.get());
  SCOPED_TRACE(kLowSteps[step].command);
  EXPECT_EQ(sweep.received, dialogue_before(step));
  const auto stored = info.error_raised.get();
  ASSERT_TRUE(stored.has_value());
  EXPECT_TRUE(stored->debug().starts_with("ScanError(SendError(")) << stored->debug();
  std::vector<std::string> statuses{"Initialised", "Connected"};
  if (step == kScanrawStep) statuses.push_back("ScanStarted");
  statuses.push_back("ConnectionFailure");
  EXPECT_EQ(published(sweep, "Status: "), statuses);
  EXPECT_EQ(info.get_scan_message(), kLowSteps[step].message);
  EXPECT_TRUE(dir.file_names().empty());
  EXPECT_FALSE(info.return_data.get().has_value());
}

// Every command before "scanraw", and "scanraw" itself.
INSTANTIATE_TEST_SUITE_P(BeforeEachCommand, RunSweepWithHangUp,
                         ::testing::Range<std::size_t>(0, kScanrawStep + 1),
                         [](const auto& test) { return std::to_string(test.param); });

TEST(RunSweep, KeepsThePausesOfTheDialogue) {
  using std::chrono::milliseconds;
  // The analyser knows each moment only between two of its looks. The longest a pause can have
  // lasted must reach what the worker waits; the shortest must stay below a pause far too long
  // (a reply ending on the 3 s time-out, say).
  constexpr milliseconds kLoose(1000);
  sim::SimConfig config;
  config.banner = true;
  config.replies = kShortScanReply;
  // Replies at once, so that each is waiting before the worker reads it.
  config.time_scale = 0;
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 100 * MHz, 200 * MHz, 11);
  const auto began = sim::Clock::now();
  run(info, dir, analyser.get());
  ASSERT_EQ(info.get_connection_status(), ConnectionStatus::ClosedWithSuccess);
  const auto exchanges = analyser->exchanges();
  ASSERT_EQ(exchanges.size(), std::size(kLowSteps));
  const auto banner = analyser->banner_taken();
  ASSERT_TRUE(banner.has_value());

  auto expect_pause = [&](const sim::Moment& from, const sim::Moment& to, milliseconds least,
                          const std::string& what) {
    EXPECT_GE(sim::longest_between(from, to), least) << what;
    EXPECT_LE(sim::shortest_between(from, to), least + kLoose) << what;
  };
  // 20 ms after the port opened, the pending input is read; 20 ms later the first command goes.
  EXPECT_GE(banner->latest - began, milliseconds(20));
  expect_pause(*banner, exchanges[0].received, milliseconds(20), "after the banner");
  for (std::size_t i = 0; i < exchanges.size(); ++i) {
    const std::string command = kLowSteps[i].command;
    ASSERT_EQ(exchanges[i].command, command);
    ASSERT_TRUE(exchanges[i].reply_taken.has_value()) << command;
    // The wait between a command and the reading of its reply ("scanraw" included).
    expect_pause(exchanges[i].received, *exchanges[i].reply_taken,
                 milliseconds(kLowSteps[i].wait_ms), command + ": wait before reading");
    // The fixed pause after a reply; after "scanraw" the one before the file name is published.
    if (i + 1 < exchanges.size()) {
      expect_pause(*exchanges[i].reply_taken, exchanges[i + 1].received, milliseconds(200),
                   command + ": pause after the reply");
    }
  }
}

struct Shell {
  const char* name;
  bool next_line_aborts_measurement;
};

void PrintTo(const Shell& shell, std::ostream* out) {
  *out << shell.name;
}

class RunSweepAtTheDevicesPace : public ::testing::TestWithParam<Shell> {};

// On the high input, 25 points with repeat 20: "scan" measures for 6.6 s and each block of
// "scanraw" for 4.7 s, both longer than the 3 s a reply may otherwise be silent. The device
// measures with the repeat count asked for only when it comes after the change of input.
TEST_P(RunSweepAtTheDevicesPace, WaitsForTheMeasurementWithTheRepeatCountAskedFor) {
  constexpr std::uint64_t kPoints = 25, kRepeat = 20;
  ASSERT_GT(scan_time({240 * MHz, 960 * MHz, 290, kRepeat}), 5s);
  ASSERT_GT(scanraw_block_time({240 * MHz, 960 * MHz, kPoints, kRepeat}), 3s);
  sim::SimConfig config;
  config.banner = true;
  config.levels = {3000};
  config.next_line_aborts_measurement = GetParam().next_line_aborts_measurement;
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  ConnectionInfo info = request(analyser->port_path(), 240 * MHz, 960 * MHz, kPoints);
  info.repeat = kRepeat;
  const Sweep sweep = run(info, dir, analyser.get());

  EXPECT_EQ(stored_error(info), "None");
  ASSERT_EQ(info.get_connection_status(), ConnectionStatus::ClosedWithSuccess);
  std::string csv;
  for (std::uint64_t i = 0; i < kPoints; ++i) csv += fmt::format("{},-34.25\n", 240 + 30 * i);
  EXPECT_EQ(read_file(dir.path() / info.file_name.get()), csv);
  EXPECT_TRUE(sweep.received.ends_with(
      "mode high input\rrepeat 20\rsweep start 240000000\rsweep stop 960000000\rsweep\r"
      "scan 240000000 960000000 290 101\rscanraw 240000000 960000000 25\rresume\r"))
      << sweep.received;
  std::vector<std::string> measured;
  for (const auto& exchange : analyser->exchanges()) {
    if (exchange.command.starts_with("scan")) {
      const std::string word = exchange.command.substr(0, exchange.command.find(' '));
      measured.push_back(fmt::format("{} with repeat {}", word, exchange.repeat));
    }
  }
  EXPECT_EQ(measured, (std::vector<std::string>{"scan with repeat 20", "scanraw with repeat 20"}));
  EXPECT_TRUE(published(sweep, "Dropped ", "sparvik::scan").empty());
}

INSTANTIATE_TEST_SUITE_P(Shells, RunSweepAtTheDevicesPace,
                         ::testing::Values(Shell{"QueuesTheNextLine", false},
                                           Shell{"TakesTheNextLineAfterFiveSeconds", true}),
                         [](const auto& test) { return std::string(test.param.name); });

// A device six times slower than its automatic settings outlasts the allowance of "scan" (6.7 s
// of measuring against 2 s of wait and 3 s of silence): the worker goes on, and the late lines
// and prompt of "scan" come in front of the "scanraw" echo.
TEST(RunSweep, DropsALateScanReplyInFrontOfTheScanrawEcho) {
  sim::SimConfig config;
  config.banner = true;
  config.levels = {4096, 0};
  config.slowdown = 6;
  auto analyser = sim::SimulatedAnalyser::start(config);
  TempDir dir("sparvik-scan");
  const ConnectionInfo info = request(analyser->port_path(), 240 * MHz, 960 * MHz, 101);
  const Sweep sweep = run(info, dir, analyser.get());

  EXPECT_EQ(stored_error(info), "None");
  ASSERT_EQ(info.get_connection_status(), ConnectionStatus::ClosedWithSuccess);
  const auto points = info.return_data.get();
  ASSERT_TRUE(points.has_value());
  ASSERT_EQ(points->size(), 101u);
  EXPECT_EQ(points->front(), (SweepPoint{240.0, 0.0}));
  EXPECT_EQ((*points)[1], (SweepPoint{247.2, -128.0}));
  EXPECT_EQ(points->back(), (SweepPoint{960.0, 0.0}));
  // The 290 lines of "scan" and its prompt went before the echo.
  const auto dropped = published(sweep, "Dropped ", "sparvik::scan");
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_TRUE(
      dropped[0].ends_with(" bytes that came before \"scanraw 240000000 960000000 101\\r\\n\""))
      << dropped[0];
  EXPECT_GT(std::stoul(dropped[0]), 290u * 20);
}

}  // namespace
}  // namespace sparvik::scan
