// A simulated TinySA on a pseudo-terminal: serves the analyser's command shell so that tests can
// drive the real serial code without hardware.
//
// How to use it:
//
//   #include "sim/simulated_analyser.hpp"           // link the test with sparvik_sim
//
//   sparvik::sim::SimConfig config;                 // defaults: a well-behaved analyser
//   config.levels = {4096, 3000, 0};                // raw level of point 0, 1, 2 (cycled)
//   config.time_scale = 0.01;                       // a hundredth of the device's measuring time
//   auto sim = sparvik::sim::SimulatedAnalyser::start(config);   // throws std::runtime_error
//   auto port = sparvik::serial::open_port(sim->port_path(), {});  // e.g. "/dev/pts/5"
//   sparvik::sim::write_text(**port, "version\r");          // sim/port_talk.hpp helpers
//   std::string reply = sparvik::sim::read_until(**port, "ch> ");
//   ... talk to it ...
//   sim->wait_for_received("resume\r", std::chrono::seconds(5));   // instead of sleeping
//   EXPECT_EQ(sim->commands().back(), "resume");
//   // ~SimulatedAnalyser (or stop()) ends the serving thread promptly and closes the pty.
//
// What the shell does, as the device does: every printable byte received is echoed as it arrives
// ("\r" is echoed as "\r\n"; other control bytes are neither echoed nor kept; Backspace, 0x08 or
// 0x7F, erases the last byte of the line with "\b \b"); a carriage return runs the line; the
// command's output lines end in "\r\n"; then the prompt "ch> " follows, with no line end after it.
//   version      one line (SimConfig::version)
//   info         several lines (SimConfig::info), nothing with empty_info
//   vbat, leveloffset, usart_cfg, threads   short plausible lines
//   repeat N     sets the repeat count (1 at power-on); without a number of at least 1 it prints
//                "usage: repeat {count}\r\n" and changes nothing
//   mode low input / mode high input   a change of input resets the repeat count to 1; the input
//                in force ("low" at power-on) again changes nothing
//   zero, marker, pause, resume, other "mode ..."   nothing
//   sweep start N / sweep stop N / sweep START STOP [POINTS]   set the sweep, print nothing
//   sweep        "START STOP POINTS\r\n" (the current values)
//   scan START STOP [POINTS [MASK]]   measures the whole sweep (POINTS, else the sweep's), then
//                one "%f %f\r\n" line (Hz, dBm) per point, none when MASK is 0; over 290 points
//                "sweep points exceeds range 290\r\n" and no sweep
//   scanraw START STOP POINTS       "{", per point "x" + raw level (u16 little endian), "}", and
//                the prompt straight after it in a write of its own. The records go out in blocks
//                as they are measured: "{" with the first 20, then 20 at a time, then the rest
//                with "}". START above STOP, or POINTS of 0, gives a line of complaint and no "{".
//   anything else   "NAME?\r\n" (the command word and a question mark)
// Levels: dBm = raw / 32 - 128 (the device's scale after "zero 128").
//
// Pace: "scan" and "scanraw" take as long as the device with its automatic settings takes
// (scan/measurement_time.hpp, with the repeat count in force): "scan" writes nothing until its
// whole sweep is measured, "scanraw" writes each block once its records are measured, chunked
// or not. A 290-point "scan" at repeat 100 takes 30 s, so tests that need the order of things and
// not the wait set time_scale (0.01, or 0 for none at all).
// While a command runs the shell handles no input: a line sent meanwhile is in received() as it
// comes, and its exchange has the time it came, but it is echoed and run only after the running
// command's prompt, as up to firmware v1.4-221. next_line_aborts_measurement gives the v1.4-222
// shell instead.
// Every pause and measurement ends at once on stop().
//
// The slave side is put in raw mode and kept open by the simulator for its whole life, so the
// tested code may open and close the port as often as it likes without the master seeing hang-ups.
// Every byte the tested code writes is kept in received() exactly, in order.
//
// As a process: ${PROJECT_BINARY_DIR}/sparvik_sim (flags in tests/sim/sim_main.cpp) prints the
// slave path, can link it to a path of your choice and records what it receives to a file.
// Note: libserialport lists only ports backed by a device, so a pty never shows in list_ports().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sparvik::sim {

// The level pattern used when a test gives none: a noise floor near -90 dBm with a few peaks.
std::uint16_t default_level(std::size_t point_index);

// Raw level to dBm, as the analyser's scale defines it.
constexpr double raw_to_dbm(std::uint16_t raw) {
  return raw / 32.0 - 128.0;
}

// Every member has a default, so designated initializers work:
//   SimulatedAnalyser::start({.banner = true, .chunk_size = 8});   (members in declaration order)
struct SimConfig {
  // Raw level per point index of a "scanraw" (or "scan") reply. level_at wins when set; otherwise
  // levels is used, cycled when shorter than the sweep; otherwise default_level.
  std::function<std::uint16_t(std::size_t)> level_at{};
  std::vector<std::uint16_t> levels{};

  std::string version = "tinySA_v1.4-143-g864bb27";
  // Lines of the "info" reply, each sent with "\r\n".
  std::vector<std::string> info = {
      "tinySA ver 1.4",
      "2019-2024 Copyright @Erik Kaashoek",
      "2016-2020 Copyright @edy555",
      "SW licensed under GPL. See: https://github.com/erikkaashoek/tinySA",
      "Version: tinySA_v1.4-143-g864bb27",
      "Build Time: Mar 12 2024 - 10:41:07",
      "Kernel: 4.0.0",
      "Compiler: GCC 7.2.1 20170904",
      "Architecture: ARMv6-M Core Variant: Cortex-M0",
      "Port Info: Preemption through NMI",
      "Platform: STM32F072xB Entry Level Medium Density devices",
  };
  // Replaces the built-in output of a command word (e.g. {"version", ""} for an empty reply).
  // The prompt still follows.
  std::map<std::string, std::string> replies{};

  // Writes "\r\ntinySA Shell\r\nch> " before start() returns: pending input for whoever opens
  // the port first.
  bool banner = false;
  // Never writes anything: no echo, no output, no prompt. Input is still recorded.
  bool silent = false;
  // "info" prints nothing (just the prompt).
  bool empty_info = false;
  // "info" gets no answer at all: no echo, no output, no prompt, as from a device that stopped
  // answering. The tested code's reply to it is then empty.
  bool mute_info = false;
  // In a "scanraw" reply, the 'x' of record k (0-based) becomes '\r'.
  std::optional<std::size_t> corrupt_record{};
  // The "scanraw" reply has no opening "{".
  bool omit_brace = false;
  // Number of records in a "scanraw" reply instead of the requested points.
  std::optional<std::size_t> record_count{};
  // After the "scanraw" reply and its prompt, the master side is closed: the tested code's reads
  // and writes then fail as on an unplugged device.
  bool hang_up_after_scanraw = false;
  // Once the tested code has read the replies (output and prompt) to this many commands, the
  // master side is closed; 0 means once it has read the banner. Its next write then fails.
  std::optional<std::size_t> hang_up_after_replies{};
  // After this many bytes of a "scanraw" reply (the "{" counts), the master side is closed once
  // the tested code has read them: the rest and the prompt never come.
  std::optional<std::size_t> scanraw_hang_up_at{};
  // After this many bytes of a "scanraw" reply the analyser falls silent for scanraw_stall, then
  // sends the rest (each block still measured first) and the prompt.
  std::optional<std::size_t> scanraw_stall_at{};
  std::chrono::milliseconds scanraw_stall{3500};
  // After the echo of this command word the analyser sends without end and never a prompt: "{"
  // and endless records for "scanraw", endless text lines for anything else. Later input is
  // recorded but not answered.
  std::optional<std::string> flood_after{};

  // Every write (echo, output, prompt, the blocks of "scanraw") is cut into writes of this many
  // bytes, with chunk_pause between them. 0 writes each piece whole.
  std::size_t chunk_size = 0;
  std::chrono::milliseconds chunk_pause{2};
  // The prompt goes out as "ch" and "> " in two writes, split_prompt_pause apart.
  bool split_prompt = false;
  std::chrono::milliseconds split_prompt_pause{20};
  // Pause between a command's echo and its output, like a device thinking.
  std::chrono::milliseconds command_delay{0};
  // The measuring time of "scan" and "scanraw" as a fraction of the device's own: 1 is its pace,
  // 0.01 a hundredth of it, 0 no measuring time at all. Not a fault: for tests that need the
  // order of things and not the wait.
  double time_scale = 1.0;
  // The device measures this many times as long as with its automatic settings, as after a
  // narrow bandwidth, "precise" sweeps or spur removal set on the device itself.
  std::size_t slowdown = 1;
  // The v1.4-222 shell: once "scan" or "scanraw" has measured for 5 s (real seconds, whatever
  // time_scale) and a command line has come up to its "\r", the measurement is aborted: it writes
  // neither its remaining data nor "}" nor its prompt. The line is then echoed and run as any.
  // Only measuring counts: a scanraw_stall or command_delay is waited out.
  bool next_line_aborts_measurement = false;
  // Not what the device does: "\r\n" after the closing "}" of a "scanraw" reply, which makes the
  // "}" a whole three-byte group. Shows a reader that needs those two bytes to finish.
  bool line_end_after_scanraw = false;
  // No prompt after the "scanraw" reply, as when a measurement is interrupted on the device (with
  // record_count below the points asked for) or the prompt is lost: the reply ends only on the
  // reader's time-out.
  bool no_prompt_after_scanraw = false;

  // When not empty, every received byte is also appended to this file as it arrives (the file is
  // truncated at start). For tests that run the simulator as a separate process.
  std::string record_file{};
};

using Clock = std::chrono::steady_clock;

// When something happened at the tested code's end of the line: after `earliest` and by `latest`.
// The simulator notes a moment between two of its own looks, so a late look (its thread not
// scheduled at once) widens the bounds instead of moving them past the event.
struct Moment {
  Clock::time_point earliest;
  Clock::time_point latest;
};

// The longest and the shortest time that can have passed from one moment to a later one.
constexpr Clock::duration longest_between(const Moment& from, const Moment& to) {
  return to.latest - from.earliest;
}
constexpr Clock::duration shortest_between(const Moment& from, const Moment& to) {
  return to.earliest - from.latest;
}

// One command line and when it came (the write that brought its "\r", also while another command
// ran); reply_taken is when the tested code had read all of the reply's output and prompt (none
// for a command left unanswered or aborted); repeat is the repeat count in force when the line
// ran, before its own effect: what a "scan" or "scanraw" measured with.
struct Exchange {
  std::string command;
  Moment received;
  std::optional<Moment> reply_taken;
  std::uint64_t repeat = 1;
};

class SimulatedAnalyser {
 public:
  // Opens the pty, writes the banner when asked and starts serving on a thread.
  // Throws std::runtime_error with the system's message when the pty cannot be set up.
  static std::unique_ptr<SimulatedAnalyser> start(SimConfig config = {});

  SimulatedAnalyser(const SimulatedAnalyser&) = delete;
  SimulatedAnalyser& operator=(const SimulatedAnalyser&) = delete;
  ~SimulatedAnalyser();

  // The slave device, e.g. "/dev/pts/5": what the tested code opens.
  const std::string& port_path() const noexcept { return port_path_; }

  // Every byte received so far, exactly.
  std::string received() const;
  // The command lines received so far (without their "\r"), in order.
  std::vector<std::string> commands() const;
  // The command lines with their times, in order. The analyser looks every millisecond, so on an
  // idle machine each moment is known within a millisecond or two.
  std::vector<Exchange> exchanges() const;
  // When the tested code had read the whole banner (none without a banner or before that).
  std::optional<Moment> banner_taken() const;
  // Waits until received() contains `text`; false when `timeout` passes first.
  bool wait_for_received(std::string_view text, std::chrono::milliseconds timeout) const;
  // Waits until the master side has been closed (hang_up() or hang_up_after_scanraw).
  bool wait_for_hang_up(std::chrono::milliseconds timeout) const;

  // Closes the master side now, as an unplugged device. Stops serving.
  void hang_up();
  // Stops serving; idempotent. Called by the destructor.
  void stop();

 private:
  struct Private {};

 public:
  SimulatedAnalyser(Private, SimConfig config);

 private:
  // One write of a "scanraw" reply: where it ends in the reply, and how many records the device
  // measures before it.
  struct Block {
    std::size_t end;
    std::size_t records;
  };
  // Bytes read from the tested code and not yet handled by the shell, with when they came.
  struct Arrival {
    std::string bytes;
    Moment at;
  };

  void serve();
  // Reads what is waiting into queued_ and received(); false when the master side gives an end
  // or an error instead (true with nothing waiting yet).
  bool take_input();
  // Runs the shell over queued_ until it is empty; input that comes meanwhile is handled too.
  void handle_input();
  void run_command(const std::string& line);
  void record_command(const std::string& line);
  void set_repeat(const std::vector<std::string>& args);
  void set_mode(const std::vector<std::string>& args);
  void scanraw(const std::vector<std::string>& args);
  // Writes reply[from, to) as the device does, each block once it is measured; false when stopped
  // or aborted.
  bool send_scanraw_part(std::string_view reply, std::span<const Block> blocks, std::size_t from,
                         std::size_t to, std::chrono::microseconds per_record);
  // Notes when the pending output has been read; looked at every millisecond by the serving loop.
  void check_drained();
  // Bytes written by the analyser that the tested code has not read yet, those still on their way
  // through the pty included; none when the slave cannot be asked.
  std::optional<int> unread_output() const;
  void flood_some();
  void scan(const std::vector<std::string>& args);
  void send(std::string_view bytes);
  void write_all(std::string_view bytes);
  void prompt();
  // Sleeps up to `pause`, taking input meanwhile; false when stop was requested.
  bool pause_for(std::chrono::milliseconds pause);
  // Waits until `until`, taking input meanwhile; false when stop was requested or, while
  // `measuring`, when the next line aborts the measurement (aborted_).
  bool wait_until(Clock::time_point until, bool measuring);
  // Measures `points` points of `point` each, as time_scale and slowdown make it.
  bool measure(std::chrono::microseconds point, std::uint64_t points);
  bool line_waiting() const;
  std::uint16_t level(std::size_t point_index) const;
  void close_master();
  // Waits (bounded) until the tested code has read what is pending, then closes the master.
  void hang_up_when_drained();

  SimConfig config_;
  std::string port_path_;
  int master_ = -1;
  int slave_ = -1;
  int wake_ = -1;  // eventfd: stop request
  int record_fd_ = -1;
  std::thread thread_;

  // Sweep state of the shell.
  std::uint64_t sweep_start_ = 0;
  std::uint64_t sweep_stop_ = 350'000'000;
  std::uint64_t sweep_points_ = 450;
  std::uint64_t repeat_ = 1;
  std::string input_ = "low";
  std::string line_;
  std::string echo_;
  std::deque<Arrival> queued_;
  Clock::time_point measuring_since_;  // of the running "scan" or "scanraw"
  bool aborted_ = false;               // the running measurement was aborted by the next line
  bool stopping_ = false;              // serving thread only
  // Which reply is being watched until read: n > 0 the n-th command's, 0 the banner's.
  std::optional<std::size_t> watching_;
  Clock::time_point unread_at_;    // the watched reply was not all read yet
  Clock::time_point no_input_at_;  // the master had nothing to read (the latest such look)
  Clock::time_point last_write_;   // when the latest write to the master began
  Moment arrived_;                 // of the input being handled
  std::string flood_pattern_;      // not empty while flooding
  std::size_t flood_offset_ = 0;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string received_;
  std::vector<Exchange> exchanges_;
  std::optional<Moment> banner_taken_;
  bool hung_up_ = false;
};

}  // namespace sparvik::sim
