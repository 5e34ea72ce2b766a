// The simulated analyser at the byte level, talked to through the real serial port.
#include "sim/simulated_analyser.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "platform/serial/serial_port.hpp"
#include "sim/port_talk.hpp"
#include "support/scanraw_records.hpp"
#include "support/temp_dir.hpp"

extern char** environ;

namespace sparvik::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::rec;

std::unique_ptr<serial::Port> open_sim(const SimulatedAnalyser& sim,
                                       std::chrono::milliseconds timeout = 3000ms) {
  auto port = serial::open_port(sim.port_path(), {.baudrate = 115200, .timeout = timeout});
  EXPECT_TRUE(port.has_value()) << (port ? "" : port.error().debug());
  return port ? std::move(*port) : nullptr;
}

// The end of a scanraw reply as the device sends it: the marker alone, the prompt straight after.
const std::string kEndGroup = "}";

std::string joined(const std::vector<std::string>& pieces) {
  std::string all;
  for (const auto& p : pieces) all += p;
  return all;
}

// What one read brought, and when.
struct Piece {
  std::string bytes;
  Clock::time_point at;
};

// As read_pieces_until, with each read's time.
std::vector<Piece> read_timed_until(serial::Port& port, std::string_view terminator,
                                    std::chrono::milliseconds limit = 30s) {
  std::vector<Piece> pieces;
  std::string all;
  std::uint8_t buffer[256];
  const auto give_up = Clock::now() + limit;
  while (all.find(terminator) == std::string::npos && Clock::now() < give_up) {
    auto n = port.read(buffer);
    if (!n) break;
    pieces.push_back({std::string(reinterpret_cast<const char*>(buffer), *n), Clock::now()});
    all += pieces.back().bytes;
  }
  return pieces;
}

std::string joined(const std::vector<Piece>& pieces) {
  std::string all;
  for (const auto& p : pieces) all += p.bytes;
  return all;
}

// When byte `index` of what was read arrived; none when it never did.
std::optional<Clock::time_point> arrival(const std::vector<Piece>& pieces, std::size_t index) {
  std::size_t end = 0;
  for (const auto& piece : pieces) {
    end += piece.bytes.size();
    if (index < end) return piece.at;
  }
  return std::nullopt;
}

// Sends each line and reads its reply up to the prompt.
void run_lines(serial::Port& port, const std::vector<std::string>& lines) {
  for (const auto& line : lines) {
    ASSERT_TRUE(write_text(port, line + "\r"));
    ASSERT_TRUE(read_until(port, "ch> ").ends_with("ch> ")) << line;
  }
}

// The default levels' "scanraw" records of `points` points, between "{" and "}".
std::string default_records(std::size_t points) {
  std::string records;
  for (std::size_t i = 0; i < points; ++i) records += rec(default_level(i));
  return records;
}

// The smaller model's time per point with its automatic settings, worked out by hand from the
// device's constants (bandwidth 2 x step within 2.6-620.7 kHz, sub-steps of half the bandwidth,
// settling 300 us from 191 kHz, 127 us per sub-step, 111 us per repeat after the first):
// "scanraw 240000000 960000000 101": step 7128712 Hz, 23 sub-steps.
constexpr auto kRaw101Repeat1 = 23 * 427us;                   // 9.8 ms
constexpr auto kRaw101Repeat100 = 23 * (427us + 99 * 111us);  // 262.6 ms: 5.25 s per block
// "scanraw 0 340000000 101": step 3366336 Hz, 11 sub-steps.
constexpr auto kRawTo340Repeat200 = 11 * (427us + 199 * 111us);  // 247.7 ms
// "scan 240000000 960000000 290": step 2491349 Hz, 9 sub-steps.
constexpr auto kScan290Repeat1 = 9 * 427us;
constexpr auto kScan290Repeat10 = 9 * (427us + 9 * 111us);
constexpr auto kScan290Repeat100 = 9 * (427us + 99 * 111us);
// The three lines of "scan 240000000 960000000 3" with levels {4096, 3000}.
const std::string kScan3Lines =
    "240000000.000000 0.000000\r\n600000000.000000 -34.250000\r\n960000000.000000 0.000000\r\n";

TEST(Shell, AnswersEachCommandWithEchoOutputAndPrompt) {
  struct Exchange {
    const char* command;
    std::string output;  // between the echoed line and the prompt
  };
  const Exchange exchanges[] = {
      {"version", "tinySA_v1.4-143-g864bb27\r\n"},
      {"vbat", "4134 mV\r\n"},
      {"bogus 1 2", "bogus?\r\n"},
      {"repeat 3", ""},
      {"zero 128", ""},
      {"marker", ""},
      {"pause", ""},
      {"mode low input", ""},
      {"sweep start 100000000", ""},
      {"sweep stop 200000000", ""},
      {"sweep", "100000000 200000000 450\r\n"},
      {"sweep 5000 6000 11", ""},
      {"sweep", "5000 6000 11\r\n"},
      {"resume", ""},
      {"", ""},
      {"scanraw 200000000 100000000 4", "frequency range is invalid\r\n"},
      {"scanraw 100000000 200000000 0", "scan point count is invalid\r\n"},
      {"scan 100000000 200000000 291 101", "sweep points exceeds range 290\r\n"},
      {"scan 100000000 200000000 290 0", ""},
  };
  auto sim = SimulatedAnalyser::start();
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  std::string sent;
  for (const auto& e : exchanges) {
    const std::string line = std::string(e.command) + "\r";
    sent += line;
    ASSERT_TRUE(write_text(*port, line));
    EXPECT_EQ(read_until(*port, "ch> "), std::string(e.command) + "\r\n" + e.output + "ch> ")
        << e.command;
  }
  EXPECT_EQ(sim->received(), sent);
  ASSERT_EQ(sim->commands().size(), std::size(exchanges));
  EXPECT_EQ(sim->commands()[3], "repeat 3");
}

TEST(Shell, InfoAndTheStatusCommandsPrintSeveralLines) {
  auto sim = SimulatedAnalyser::start();
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "info\r"));
  const std::string info = read_until(*port, "ch> ");
  EXPECT_TRUE(info.starts_with("info\r\ntinySA ver 1.4\r\n2019-2024 Copyright @Erik Kaashoek\r\n"))
      << info;
  EXPECT_TRUE(info.ends_with("\r\nch> "));
  for (const char* command : {"leveloffset", "usart_cfg", "threads"}) {
    ASSERT_TRUE(write_text(*port, std::string(command) + "\r"));
    const std::string reply = read_until(*port, "ch> ");
    const std::string echo = std::string(command) + "\r\n";
    ASSERT_TRUE(reply.starts_with(echo) && reply.ends_with("\r\nch> ")) << reply;
    EXPECT_GT(reply.size(), echo.size() + 6) << command << " printed nothing";
  }
}

TEST(Shell, KeepsReceivedBytesExactlyAndRunsEveryLineOfOneWrite) {
  auto sim = SimulatedAnalyser::start();
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  // Control bytes ("\n", 0x01) are neither echoed nor kept, Backspace erases with "\b \b", and
  // bytes of an unfinished line are echoed as they come.
  const std::string sent = "vbat\r\nver\x01sioX\x7fn\r\xff\x01";
  ASSERT_TRUE(write_text(*port, sent));
  const std::string reply = read_until(*port, "ch> \xff");
  EXPECT_EQ(reply, "vbat\r\n4134 mV\r\nch> versioX\b \bn\r\ntinySA_v1.4-143-g864bb27\r\nch> \xff");
  ASSERT_TRUE(sim->wait_for_received(sent, 5s));
  EXPECT_EQ(sim->received(), sent);
}

TEST(Shell, ScanPrintsOneLinePerPointAfterSweeping) {
  auto sim = SimulatedAnalyser::start({.levels = {4096, 3000}});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "scan 100000000 200000000 3 101\r"));
  const std::string reply = read_until(*port, "ch> ");
  EXPECT_EQ(reply,
            "scan 100000000 200000000 3 101\r\n"
            "100000000.000000 0.000000\r\n"
            "150000000.000000 -34.250000\r\n"
            "200000000.000000 0.000000\r\n"
            "ch> ");
}

// The device's state: the repeat count in force, set by "repeat" and reset by a change of input.
TEST(Shell, RecordsTheRepeatCountInForceForEachLine) {
  const std::string raw = "{" + rec(0) + rec(0) + "}";
  const std::string usage = "usage: repeat {count}\r\n";
  const struct {
    const char* command;
    std::string output;
    std::uint64_t repeat;  // in force when the line ran
  } lines[] = {
      {"scanraw 0 1 2", raw, 1},
      {"repeat 100", "", 1},
      {"scanraw 0 1 2", raw, 100},
      {"repeat 0", usage, 100},
      {"repeat", usage, 100},
      {"repeat 5 6", usage, 100},
      {"repeat many", usage, 100},
      // The input since power-on: no change.
      {"mode low input", "", 100},
      {"scan 0 1 2 0", "", 100},
      {"mode high input", "", 100},
      {"scan 0 1 2 0", "", 1},
      {"repeat 7", "", 1},
      {"mode high input", "", 7},
      {"scanraw 0 1 2", raw, 7},
      {"mode low input", "", 7},
      {"scanraw 0 1 2", raw, 1},
  };
  auto sim = SimulatedAnalyser::start({.levels = {0}, .time_scale = 0});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  for (const auto& line : lines) {
    ASSERT_TRUE(write_text(*port, std::string(line.command) + "\r"));
    EXPECT_EQ(read_until(*port, "ch> "), std::string(line.command) + "\r\n" + line.output + "ch> ");
  }
  const auto exchanges = sim->exchanges();
  ASSERT_EQ(exchanges.size(), std::size(lines));
  for (std::size_t i = 0; i < exchanges.size(); ++i) {
    EXPECT_EQ(exchanges[i].repeat, lines[i].repeat) << i << ": " << lines[i].command;
  }
}

TEST(Shell, CommandDelayHoldsBackTheOutput) {
  auto sim = SimulatedAnalyser::start({.command_delay = 150ms});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  const auto began = Clock::now();
  ASSERT_TRUE(write_text(*port, "version\r"));
  EXPECT_EQ(read_until(*port, "ch> "), "version\r\ntinySA_v1.4-143-g864bb27\r\nch> ");
  EXPECT_GE(Clock::now() - began, 150ms);
}

TEST(Shell, RepliesCanBeReplaced) {
  SimConfig config;
  config.replies["version"] = "";
  auto sim = SimulatedAnalyser::start(config);
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "version\r"));
  EXPECT_EQ(read_until(*port, "ch> "), "version\r\nch> ");
}

struct ScanrawCase {
  const char* name;
  std::function<void(SimConfig&)> configure;
  std::string body;  // between the echo and the prompt
};

class Scanraw : public testing::TestWithParam<ScanrawCase> {};

TEST_P(Scanraw, ReplyBytes) {
  SimConfig config{.levels = {0, 3000, 4096, 65535}, .time_scale = 0};
  GetParam().configure(config);
  auto sim = SimulatedAnalyser::start(config);
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "scanraw 100000000 200000000 4\r"));
  EXPECT_EQ(read_until(*port, "ch> "),
            "scanraw 100000000 200000000 4\r\n" + GetParam().body + "ch> ");
}

INSTANTIATE_TEST_SUITE_P(
    Options, Scanraw,
    testing::Values(
        ScanrawCase{"Plain", [](SimConfig&) {},
                    "{" + rec(0) + rec(3000) + rec(4096) + rec(65535) + kEndGroup},
        ScanrawCase{"CorruptMarker", [](SimConfig& c) { c.corrupt_record = 2; },
                    "{" + rec(0) + rec(3000) + rec(4096, '\r') + rec(65535) + kEndGroup},
        ScanrawCase{"LineEndAfterScanraw", [](SimConfig& c) { c.line_end_after_scanraw = true; },
                    "{" + rec(0) + rec(3000) + rec(4096) + rec(65535) + "}\r\n"},
        ScanrawCase{"NoBrace", [](SimConfig& c) { c.omit_brace = true; },
                    rec(0) + rec(3000) + rec(4096) + rec(65535) + kEndGroup},
        ScanrawCase{"FewerRecords", [](SimConfig& c) { c.record_count = 2; },
                    "{" + rec(0) + rec(3000) + kEndGroup},
        ScanrawCase{"LevelFunction",
                    [](SimConfig& c) {
                      c.level_at = [](std::size_t i) {
                        return static_cast<std::uint16_t>(i * 257);
                      };
                    },
                    "{" + rec(0) + rec(257) + rec(514) + rec(771) + kEndGroup},
        ScanrawCase{"DefaultLevels", [](SimConfig& c) { c.levels.clear(); },
                    "{" + rec(default_level(0)) + rec(default_level(1)) + rec(default_level(2)) +
                        rec(default_level(3)) + kEndGroup}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Scanraw, LongReplyComesInTheDevicesBlocks) {
  // 1.3 ms per point: a fifth of that keeps the 50 blocks 5 ms apart.
  auto sim = SimulatedAnalyser::start({.time_scale = 0.2});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "scanraw 240000000 960000000 1000\r"));
  const auto pieces = read_pieces_until(*port, "ch> ");
  const std::string echo = "scanraw 240000000 960000000 1000\r\n";
  EXPECT_EQ(joined(pieces), echo + "{" + default_records(1000) + "}ch> ");

  // Writes end after the echo, after "{" and 20 records, after every further 20, and after "}";
  // a read ends between them only when it filled the reader's 256-byte buffer.
  std::vector<std::size_t> write_ends = {echo.size()};
  for (std::size_t end = echo.size() + 61; end <= echo.size() + 3001; end += 60) {
    write_ends.push_back(end);
  }
  write_ends.push_back(echo.size() + 3002);
  write_ends.push_back(echo.size() + 3006);
  std::size_t at = 0;
  for (const auto& piece : pieces) {
    at += piece.size();
    if (piece.size() < 256) {
      EXPECT_TRUE(std::ranges::binary_search(write_ends, at)) << "a read ended at " << at;
    }
  }
  // 50 blocks 5 ms apart cannot arrive in a handful of reads.
  EXPECT_GT(pieces.size(), 10u);
}

// A byte of the reply (after the echo) that may not come before the device has measured for
// `device` (as time_scale and slowdown make it) and `extra` has passed as well.
struct Due {
  std::size_t byte;
  std::chrono::microseconds device;
  std::chrono::milliseconds extra{0};
};

// "scanraw" of `points` points: "{" with the first 20 records, then each further 20, then the
// rest with "}", each once its records are measured; the prompt right after the last.
std::vector<Due> scanraw_due(std::chrono::microseconds point, std::size_t points) {
  std::vector<Due> due;
  for (std::size_t first = 0; first < points; first += 20) {
    const auto measured = static_cast<std::int64_t>(std::min(first + 20, points));
    due.push_back({first == 0 ? 0 : 1 + 3 * first, point * measured});
  }
  due.push_back({3 * points + 2, point * static_cast<std::int64_t>(points)});  // the prompt
  return due;
}

struct PaceCase {
  const char* name;
  SimConfig config;
  std::vector<std::string> setup;  // lines sent before, each answered
  std::string command;
  std::vector<Due> due;
  std::string reply{};  // after the echo; empty: not checked here
};

// A failing case is named, not dumped as bytes.
void PrintTo(const PaceCase& c, std::ostream* os) {
  *os << c.name;
}

class Pace : public testing::TestWithParam<PaceCase> {};

TEST_P(Pace, RepliesComeOnceMeasured) {
  const PaceCase& c = GetParam();
  auto sim = SimulatedAnalyser::start(c.config);
  auto port = open_sim(*sim, 10s);
  ASSERT_TRUE(port);
  run_lines(*port, c.setup);
  const auto sent = Clock::now();
  ASSERT_TRUE(write_text(*port, c.command + "\r"));
  // A cut reply ends on the hang-up.
  const auto pieces = read_timed_until(*port, "ch> ");
  const std::string all = joined(pieces);
  const std::string echo = c.command + "\r\n";
  ASSERT_TRUE(all.starts_with(echo)) << all.substr(0, 60);
  if (!c.reply.empty()) {
    EXPECT_EQ(all.substr(echo.size()), c.reply);
  }
  const bool cut = c.config.scanraw_hang_up_at.has_value();
  EXPECT_EQ(all.ends_with("ch> "), !cut);
  if (cut) {
    EXPECT_TRUE(sim->wait_for_hang_up(5s));
  }

  const double factor = c.config.time_scale * static_cast<double>(c.config.slowdown);
  for (const Due& due : c.due) {
    const auto at = arrival(pieces, echo.size() + due.byte);
    ASSERT_TRUE(at.has_value()) << "byte " << due.byte << " never came";
    const auto earliest =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::micro>(
            static_cast<double>(due.device.count()) * factor)) +
        due.extra;
    EXPECT_GE(*at - sent, earliest) << "byte " << due.byte;
    // Loosely: a loaded machine or a sanitizer may be late, but not by a measurement's worth.
    EXPECT_LE(*at - sent, earliest * 3 / 2 + 1s) << "byte " << due.byte;
  }
}

const std::string kRaw101 = "{" + default_records(101) + "}ch> ";

INSTANTIATE_TEST_SUITE_P(
    Device, Pace,
    testing::Values(PaceCase{"ScanAtTheDevicesOwnPace",
                             {},
                             {},
                             "scan 240000000 960000000 290",
                             {{0, 290 * kScan290Repeat1}}},
                    PaceCase{"ScanWithTheRepeatCount",
                             {.time_scale = 0.01},
                             {"repeat 100"},
                             "scan 240000000 960000000 290",
                             {{0, 290 * kScan290Repeat100}}},
                    PaceCase{"ScanSlowedDown",
                             {.time_scale = 0.01, .slowdown = 4},
                             {"repeat 10"},
                             "scan 240000000 960000000 290",
                             {{0, 290 * kScan290Repeat10}}},
                    PaceCase{"ScanrawBlocks",
                             {.time_scale = 0.01},
                             {"repeat 100"},
                             "scanraw 240000000 960000000 101",
                             scanraw_due(kRaw101Repeat100, 101),
                             kRaw101},
                    // Blocks half a second apart: the first ones must not wait for the last.
                    PaceCase{"ScanrawBlocksOfAnotherSpan",
                             {.time_scale = 0.1},
                             {"repeat 200"},
                             "scanraw 0 340000000 101",
                             scanraw_due(kRawTo340Repeat200, 101),
                             "{" + default_records(101) + "}ch> "},
                    PaceCase{"ScanrawAfterAChangeOfInput",
                             {},
                             {"repeat 100", "mode high input"},
                             "scanraw 240000000 960000000 101",
                             scanraw_due(kRaw101Repeat1, 101),
                             kRaw101},
                    PaceCase{"ScanrawChunked",
                             {.chunk_size = 7, .time_scale = 0.01},
                             {"repeat 100"},
                             "scanraw 240000000 960000000 101",
                             scanraw_due(kRaw101Repeat100, 101),
                             kRaw101},
                    // Byte 100 lies in the second block: its rest comes after the stall, and the
                    // blocks after it are measured from then.
                    PaceCase{"ScanrawStalled",
                             {.scanraw_stall_at = 100, .scanraw_stall = 300ms, .time_scale = 0.01},
                             {"repeat 100"},
                             "scanraw 240000000 960000000 101",
                             {{0, 20 * kRaw101Repeat100},
                              {61, 40 * kRaw101Repeat100},
                              {100, 40 * kRaw101Repeat100, 300ms},
                              {121, 60 * kRaw101Repeat100, 300ms},
                              {305, 101 * kRaw101Repeat100, 300ms}},
                             kRaw101},
                    PaceCase{"ScanrawCut",
                             {.scanraw_hang_up_at = 100, .time_scale = 0.01},
                             {"repeat 100"},
                             "scanraw 240000000 960000000 101",
                             {{0, 20 * kRaw101Repeat100}, {61, 40 * kRaw101Repeat100}},
                             kRaw101.substr(0, 100)}),
    [](const auto& test) { return std::string(test.param.name); });

// A line sent while "scan" or "scanraw" measures: the shell reads nothing until the prompt, then
// echoes and runs it; so does the v1.4-222 shell when the measurement ends within 5 s.
TEST(Shell, ALineSentDuringAMeasurementRunsAfterItsPrompt) {
  const struct {
    const char* name;
    SimConfig config;
    std::string command;  // after "repeat 100"
    std::string reply;    // after the echo, up to the prompt
  } cases[] = {
      {"scan",
       {.levels = {4096, 3000}, .time_scale = 0.05},
       "scan 240000000 960000000 3",
       kScan3Lines},
      // Longer than the 5 s after which the v1.4-222 shell takes a line.
      {"scanraw",
       {.time_scale = 0.25},
       "scanraw 240000000 960000000 101",
       "{" + default_records(101) + "}"},
      {"scanraw, v1.4-222 shell",
       {.time_scale = 0.05, .next_line_aborts_measurement = true},
       "scanraw 240000000 960000000 101",
       "{" + default_records(101) + "}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto sim = SimulatedAnalyser::start(c.config);
    auto port = open_sim(*sim, 10s);
    ASSERT_TRUE(port);
    run_lines(*port, {"repeat 100"});
    const std::string echo = c.command + "\r\n";
    ASSERT_TRUE(write_text(*port, c.command + "\r"));
    auto pieces = read_timed_until(*port, echo);
    ASSERT_TRUE(write_text(*port, "vbat\r"));
    ASSERT_TRUE(sim->wait_for_received("vbat\r", 5s));
    const auto rest = read_timed_until(*port, "mV\r\nch> ");
    pieces.insert(pieces.end(), rest.begin(), rest.end());
    const std::string after = "ch> vbat\r\n4134 mV\r\nch> ";
    EXPECT_EQ(joined(pieces), echo + c.reply + after);
    // The line came while the command measured.
    const auto prompt = arrival(pieces, echo.size() + c.reply.size());
    const auto exchanges = sim->exchanges();
    ASSERT_EQ(exchanges.size(), 3u);
    ASSERT_TRUE(prompt.has_value());
    EXPECT_LT(exchanges[2].received.latest, *prompt);
  }
}

// The v1.4-222 shell: a line that has come aborts a measurement once it has run for 5 s (real
// seconds, whatever the time scale): no more data, no "}", no prompt; then the line runs.
TEST(Shell, NextLineAbortsAMeasurementAfterFiveSeconds) {
  const struct {
    const char* name;
    double time_scale;
    std::string command;  // after "repeat 100"
    std::string before;   // what it writes before the line is sent, after the echo
  } cases[] = {
      // 3 points of 13.2 s at repeat 100 (step 360 MHz, 1160 sub-steps): 20 s at half the pace.
      // The line is sent at once and waits out the 5 s.
      {"scan", 0.5, "scan 240000000 960000000 3", ""},
      // Blocks 3.2 s apart: the line comes after the first, the second would be at 6.3 s.
      {"scanraw", 0.6, "scanraw 240000000 960000000 101", "{" + default_records(20)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto sim = SimulatedAnalyser::start(
        {.time_scale = c.time_scale, .next_line_aborts_measurement = true});
    auto port = open_sim(*sim, 10s);
    ASSERT_TRUE(port);
    run_lines(*port, {"repeat 100"});
    const auto sent = Clock::now();
    const std::string echo = c.command + "\r\n";
    ASSERT_TRUE(write_text(*port, c.command + "\r"));
    EXPECT_EQ(read_until(*port, echo + c.before), echo + c.before);
    ASSERT_TRUE(write_text(*port, "vbat\r"));
    const auto pieces = read_timed_until(*port, "mV\r\nch> ");
    EXPECT_EQ(joined(pieces), "vbat\r\n4134 mV\r\nch> ");
    ASSERT_FALSE(pieces.empty());
    EXPECT_GE(pieces.front().at - sent, 5s);
    EXPECT_LE(pieces.front().at - sent, 8s);
    // Nothing of the aborted command comes later, and the shell goes on as before.
    ASSERT_TRUE(write_text(*port, "version\r"));
    EXPECT_EQ(read_until(*port, "ch> "), "version\r\ntinySA_v1.4-143-g864bb27\r\nch> ");
    const auto exchanges = sim->exchanges();
    ASSERT_EQ(exchanges.size(), 4u);
    EXPECT_EQ(exchanges[1].command, c.command);
    EXPECT_FALSE(exchanges[1].reply_taken.has_value());
  }
}

TEST(Scanraw, WithoutPromptTheReplyEndsOnTheReadersTimeOut) {
  auto sim =
      SimulatedAnalyser::start({.levels = {0}, .record_count = 2, .no_prompt_after_scanraw = true});
  auto port = open_sim(*sim, 200ms);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "scanraw 1 2 4\r"));
  EXPECT_EQ(read_until(*port, "ch> "), "scanraw 1 2 4\r\n{" + rec(0) + rec(0) + "}");
  // The shell still answers.
  ASSERT_TRUE(write_text(*port, "vbat\r"));
  EXPECT_EQ(read_until(*port, "ch> "), "vbat\r\n4134 mV\r\nch> ");
}

TEST(Options, ChunkedRepliesArriveInPiecesWithTheSameBytes) {
  auto sim = SimulatedAnalyser::start({.chunk_size = 5, .chunk_pause = 40ms});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "version\r"));
  const auto pieces = read_pieces_until(*port, "ch> ");
  EXPECT_EQ(joined(pieces), "version\r\ntinySA_v1.4-143-g864bb27\r\nch> ");
  EXPECT_GE(pieces.size(), 3u);
  // A slow reader may take two or three pieces at once, never the whole reply.
  for (const auto& piece : pieces) EXPECT_LE(piece.size(), 15u) << piece;
}

TEST(Options, SplitPromptNeverArrivesInOneRead) {
  auto sim = SimulatedAnalyser::start({.split_prompt = true, .split_prompt_pause = 150ms});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "vbat\r"));
  const auto pieces = read_pieces_until(*port, "ch> ");
  EXPECT_EQ(joined(pieces), "vbat\r\n4134 mV\r\nch> ");
  for (const auto& piece : pieces) EXPECT_EQ(piece.find("ch>"), std::string::npos) << piece;
}

TEST(Options, SilentAnalyserRecordsButNeverAnswers) {
  auto sim = SimulatedAnalyser::start({.banner = true, .silent = true});
  auto port = open_sim(*sim, 200ms);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "version\r"));
  ASSERT_TRUE(sim->wait_for_received("version\r", 5s));
  std::uint8_t buffer[16];
  auto n = port->read(buffer);
  ASSERT_FALSE(n.has_value());
  EXPECT_EQ(n.error().kind, IoErrorKind::TimedOut);
  EXPECT_EQ(sim->commands(), std::vector<std::string>{"version"});
}

TEST(Options, EmptyInfoIsJustThePrompt) {
  auto sim = SimulatedAnalyser::start({.empty_info = true});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "info\r"));
  EXPECT_EQ(read_until(*port, "ch> "), "info\r\nch> ");
}

TEST(Options, MutedInfoGetsNoAnswerWhileOtherCommandsDo) {
  auto sim = SimulatedAnalyser::start({.mute_info = true});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "info\rvbat\r"));
  EXPECT_EQ(read_until(*port, "ch> "), "vbat\r\n4134 mV\r\nch> ");
  EXPECT_EQ(sim->commands(), (std::vector<std::string>{"info", "vbat"}));
}

TEST(Options, HangUpComesAfterTheWholeReplyHasBeenRead) {
  auto sim = SimulatedAnalyser::start({.levels = {3000}, .hang_up_after_scanraw = true});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "scanraw 1000000 2000000 200\r"));
  const std::string reply = read_until(*port, "ch> ");
  std::string records;
  for (int i = 0; i < 200; ++i) records += rec(3000);
  EXPECT_EQ(reply, "scanraw 1000000 2000000 200\r\n{" + records + kEndGroup + "ch> ");
  ASSERT_TRUE(sim->wait_for_hang_up(10s));
  EXPECT_FALSE(write_text(*port, "resume\r"));
  std::uint8_t buffer[16];
  EXPECT_FALSE(port->read(buffer).has_value());
}

TEST(Options, HangUpAfterGivenRepliesWereRead) {
  for (std::size_t replies : {0u, 2u}) {
    SCOPED_TRACE(replies);
    auto sim = SimulatedAnalyser::start({.banner = true, .hang_up_after_replies = replies});
    auto port = open_sim(*sim);
    ASSERT_TRUE(port);
    // A reply counts as read whether it waited for the read, as the worker reads, or the reader
    // was already waiting for it.
    EXPECT_EQ(read_until(*port, "ch> "), "\r\ntinySA Shell\r\nch> ");
    for (std::size_t i = 0; i < replies; ++i) {
      ASSERT_TRUE(write_text(*port, "vbat\r"));
      if (i % 2 == 0) std::this_thread::sleep_for(30ms);
      EXPECT_EQ(read_until(*port, "ch> "), "vbat\r\n4134 mV\r\nch> ");
    }
    ASSERT_TRUE(sim->wait_for_hang_up(5s));
    EXPECT_FALSE(write_text(*port, "vbat\r"));
    EXPECT_EQ(sim->commands().size(), replies);
  }
}

TEST(Options, ExchangesTellWhenACommandCameAndWhenItsReplyWasRead) {
  // Between two steps of the test the analyser, looking every millisecond, has many chances to
  // look even when a loaded machine holds its thread back for a while.
  constexpr auto kGap = 200ms;
  auto sim = SimulatedAnalyser::start({.banner = true});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  const auto began = Clock::now();
  std::this_thread::sleep_for(kGap);
  read_until(*port, "ch> ");
  const auto banner_read = Clock::now();
  std::this_thread::sleep_for(kGap);
  const auto writing = Clock::now();
  ASSERT_TRUE(write_text(*port, "vbat\r"));
  const auto written = Clock::now();
  std::this_thread::sleep_for(kGap);
  const auto reading = Clock::now();
  read_until(*port, "ch> ");
  const auto read = Clock::now();
  std::this_thread::sleep_for(kGap);
  const auto banner = sim->banner_taken();
  ASSERT_TRUE(banner.has_value());
  const auto exchanges = sim->exchanges();
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].command, "vbat");
  ASSERT_TRUE(exchanges[0].reply_taken.has_value());
  // Each moment holds the true one, which lies between `after` and `by`; and, as the analyser
  // looked during the gap before and the one after it, its bounds lie within those gaps.
  auto expect_moment = [](const Moment& moment, Clock::time_point after, Clock::time_point by,
                          Clock::time_point gap_from, Clock::time_point gap_until,
                          const char* what) {
    EXPECT_LE(moment.earliest, by) << what;
    EXPECT_GE(moment.latest, after) << what;
    EXPECT_GE(moment.earliest, gap_from) << what;
    EXPECT_LE(moment.latest, gap_until) << what;
  };
  expect_moment(*banner, began + kGap, banner_read, began, writing, "banner read");
  expect_moment(exchanges[0].received, writing, written, banner_read, reading, "vbat written");
  expect_moment(*exchanges[0].reply_taken, reading, read, written, read + kGap, "reply read");
}

TEST(Options, FloodNeverEndsAndLeavesLaterCommandsUnanswered) {
  const struct {
    const char* command;
    std::string starts;
  } cases[] = {
      {"version", "version\r\nnoise without end\r\nnoise without end\r\n"},
      {"scanraw 0 1 2", "scanraw 0 1 2\r\n{" + rec(4096) + rec(4096)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    auto sim = SimulatedAnalyser::start({.flood_after = std::string(c.command).substr(0, 7)});
    auto port = open_sim(*sim);
    ASSERT_TRUE(port);
    ASSERT_TRUE(write_text(*port, std::string(c.command) + "\r"));
    std::string got;
    std::uint8_t buffer[4096];
    while (got.size() < 200'000) {
      auto n = port->read(buffer);
      ASSERT_TRUE(n.has_value());
      got.append(reinterpret_cast<const char*>(buffer), *n);
    }
    EXPECT_TRUE(got.starts_with(c.starts)) << got.substr(0, 60);
    EXPECT_EQ(got.find("ch>"), std::string::npos);
    ASSERT_TRUE(write_text(*port, "vbat\r"));
    ASSERT_TRUE(sim->wait_for_received("vbat\r", 5s));
    // The line is recorded just after its bytes.
    const auto give_up = Clock::now() + 5s;
    while (sim->commands().back() != "vbat" && Clock::now() < give_up) {
      std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(sim->commands().back(), "vbat");
  }
}

TEST(Scanraw, HangUpOrStallPartWay) {
  const std::string echo = "scanraw 1 2 4\r\n";
  const std::string whole = "{" + rec(0) + rec(0) + rec(0) + rec(0) + kEndGroup;
  {
    auto sim = SimulatedAnalyser::start({.levels = {0}, .scanraw_hang_up_at = 7});
    auto port = open_sim(*sim);
    ASSERT_TRUE(port);
    ASSERT_TRUE(write_text(*port, "scanraw 1 2 4\r"));
    EXPECT_EQ(read_until(*port, "ch> "), echo + whole.substr(0, 7));
    EXPECT_TRUE(sim->wait_for_hang_up(5s));
  }
  {
    auto sim = SimulatedAnalyser::start(
        {.levels = {0}, .scanraw_stall_at = 7, .scanraw_stall = std::chrono::milliseconds(300)});
    auto port = open_sim(*sim);
    ASSERT_TRUE(port);
    ASSERT_TRUE(write_text(*port, "scanraw 1 2 4\r"));
    EXPECT_EQ(read_until(*port, whole.substr(0, 7)), echo + whole.substr(0, 7));
    const auto stalled = Clock::now();
    EXPECT_EQ(read_until(*port, "ch> "), whole.substr(7) + "ch> ");
    EXPECT_GE(Clock::now() - stalled, 250ms);
  }
}

TEST(Lifecycle, StopsPromptlyWhileBlockedOnAReaderThatNeverReads) {
  auto sim = SimulatedAnalyser::start({.time_scale = 0});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  // Half a megabyte of reply that nobody reads: the simulator is stuck waiting for room.
  ASSERT_TRUE(write_text(*port, "scanraw 1000000 2000000 200000\r"));
  ASSERT_TRUE(sim->wait_for_received("200000\r", 5s));
  const auto began = Clock::now();
  sim.reset();
  EXPECT_LT(Clock::now() - began, 10s);
}

TEST(Lifecycle, StopsPromptlyDuringALongMeasurement) {
  // 18.6 minutes and 290 s at the device's pace.
  for (const char* command :
       {"scanraw 240000000 960000000 10001", "scan 240000000 960000000 290"}) {
    SCOPED_TRACE(command);
    auto sim = SimulatedAnalyser::start();
    auto port = open_sim(*sim);
    ASSERT_TRUE(port);
    run_lines(*port, {"repeat 1000"});
    ASSERT_TRUE(write_text(*port, std::string(command) + "\r"));
    const std::string echo = std::string(command) + "\r\n";
    ASSERT_EQ(read_until(*port, echo), echo);
    const auto began = Clock::now();
    sim.reset();
    EXPECT_LT(Clock::now() - began, 5s);
  }
}

// The executable: flags, the slave path on stdout, the record file, the link and SIGTERM.
TEST(Executable, ServesRecordsAndEndsOnSigterm) {
  const test_support::TempDir temp("sparvik-sim");
  const std::filesystem::path& dir = temp.path();
  const auto link = dir / "ttySIM";
  const auto record_file = dir / "received.bin";
  const auto levels_file = dir / "levels.txt";
  std::ofstream(levels_file) << "4096 3000\n";

  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> args = {
      SPARVIK_SIM_EXE,      "--link",        link.string(),        "--record",
      record_file.string(), "--levels-file", levels_file.string(), "--empty-info"};
  // The pace flags are taken too; two points measure in a few milliseconds.
  args.insert(args.end(),
              {"--time-scale", "0.5", "--slowdown", "2", "--next-line-aborts-measurement"});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, SPARVIK_SIM_EXE, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);

  std::string printed;
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') printed += c;
  ::close(out[0]);
  EXPECT_TRUE(printed.starts_with("/dev/pts/")) << printed;
  EXPECT_EQ(std::filesystem::read_symlink(link), printed);

  {
    auto port = serial::open_port(link.string(), {});
    ASSERT_TRUE(port.has_value()) << port.error().debug();
    ASSERT_TRUE(write_text(**port, "info\rscanraw 0 1 2\r"));
    EXPECT_EQ(read_until(**port, "}ch> "),
              "info\r\nch> scanraw 0 1 2\r\n{" + rec(4096) + rec(3000) + kEndGroup + "ch> ");
  }
  EXPECT_EQ(test_support::read_file(record_file), "info\rscanraw 0 1 2\r");

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(Executable, RefusesBadFlagsWithStatus2) {
  const std::vector<std::vector<std::string>> refused = {
      {"--time-scale", "-1"}, {"--time-scale", "nan"}, {"--time-scale", "0.5x"},
      {"--slowdown", "x"},    {"--scan-ms", "50"},     {"--block-ms", "5"},
  };
  for (auto args : refused) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    args.insert(args.begin(), SPARVIK_SIM_EXE);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, SPARVIK_SIM_EXE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
  }
}

}  // namespace
}  // namespace sparvik::sim
