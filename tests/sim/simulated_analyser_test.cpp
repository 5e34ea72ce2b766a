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
  auto sim = SimulatedAnalyser::start({.levels = {4096, 3000}, .scan_duration = 100ms});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  const auto began = Clock::now();
  ASSERT_TRUE(write_text(*port, "scan 100000000 200000000 3 101\r"));
  const std::string reply = read_until(*port, "ch> ");
  EXPECT_GE(Clock::now() - began, 100ms);
  EXPECT_EQ(reply,
            "scan 100000000 200000000 3 101\r\n"
            "100000000.000000 0.000000\r\n"
            "150000000.000000 -34.250000\r\n"
            "200000000.000000 0.000000\r\n"
            "ch> ");
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
  SimConfig config{.levels = {0, 3000, 4096, 65535}};
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
  auto sim = SimulatedAnalyser::start({.scanraw_block_pause = 20ms});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  ASSERT_TRUE(write_text(*port, "scanraw 240000000 960000000 1000\r"));
  const auto pieces = read_pieces_until(*port, "ch> ");
  const std::string echo = "scanraw 240000000 960000000 1000\r\n";
  std::string records;
  for (std::size_t i = 0; i < 1000; ++i) records += rec(default_level(i));
  EXPECT_EQ(joined(pieces), echo + "{" + records + "}ch> ");

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
  // 50 blocks 20 ms apart cannot arrive in a handful of reads.
  EXPECT_GT(pieces.size(), 10u);
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
    // A reply counts as read only when it was waiting before the read, as the worker reads.
    EXPECT_EQ(read_until(*port, "ch> "), "\r\ntinySA Shell\r\nch> ");
    for (std::size_t i = 0; i < replies; ++i) {
      ASSERT_TRUE(write_text(*port, "vbat\r"));
      std::this_thread::sleep_for(30ms);
      EXPECT_EQ(read_until(*port, "ch> "), "vbat\r\n4134 mV\r\nch> ");
    }
    ASSERT_TRUE(sim->wait_for_hang_up(5s));
    EXPECT_FALSE(write_text(*port, "vbat\r"));
    EXPECT_EQ(sim->commands().size(), replies);
  }
}

TEST(Options, ExchangesTellWhenACommandCameAndWhenItsReplyWasRead) {
  auto sim = SimulatedAnalyser::start({.banner = true});
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  const auto began = Clock::now();
  std::this_thread::sleep_for(50ms);
  read_until(*port, "ch> ");
  ASSERT_TRUE(write_text(*port, "vbat\r"));
  const auto written = Clock::now();
  std::this_thread::sleep_for(100ms);
  const auto reading = Clock::now();
  read_until(*port, "ch> ");
  const auto read = Clock::now();
  std::this_thread::sleep_for(20ms);  // the analyser looks every millisecond
  const auto banner = sim->banner_taken();
  ASSERT_TRUE(banner.has_value());
  EXPECT_GE(*banner, began + 50ms);
  const auto exchanges = sim->exchanges();
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].command, "vbat");
  EXPECT_GE(exchanges[0].received, written - 5ms);
  EXPECT_LE(exchanges[0].received, reading);
  ASSERT_TRUE(exchanges[0].reply_taken.has_value());
  EXPECT_GE(*exchanges[0].reply_taken, reading);
  EXPECT_LE(*exchanges[0].reply_taken, read + 15ms);
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
  auto sim = SimulatedAnalyser::start();
  auto port = open_sim(*sim);
  ASSERT_TRUE(port);
  // Half a megabyte of reply that nobody reads: the simulator is stuck waiting for room.
  ASSERT_TRUE(write_text(*port, "scanraw 1000000 2000000 200000\r"));
  ASSERT_TRUE(sim->wait_for_received("200000\r", 5s));
  const auto began = Clock::now();
  sim.reset();
  EXPECT_LT(Clock::now() - began, 10s);
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

}  // namespace
}  // namespace sparvik::sim
