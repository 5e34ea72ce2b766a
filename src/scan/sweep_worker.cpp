#include "scan/sweep_worker.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/io_error.hpp"
#include "platform/log/log.hpp"
#include "platform/serial/serial_port.hpp"
#include "scan/command_channel.hpp"
#include "scan/lossy_utf8.hpp"
#include "scan/measurement_time.hpp"
#include "scan/scanraw_decoder.hpp"
#include "scan/scanraw_reader.hpp"
#include "scan/sweep_request.hpp"

namespace sparvik::scan {

namespace {

constexpr const char* kTarget = "sparvik::scan";
constexpr std::uint64_t kCommandWait = 20;
constexpr std::uint64_t kScanWait = 2000;
constexpr std::uint64_t kSettle = 20;
constexpr std::uint64_t kBeforeFileName = 200;
// The "scan" the analyser is asked for before "scanraw" always has this many points.
constexpr std::uint64_t kScanPoints = 290;

using Step = std::expected<void, SparvikError>;

std::expected<std::string, SparvikError> send(serial::Port& port, const std::string& command) {
  return send_cmd(port, command, kCommandWait);
}

// Takes in what the analyser had pending (its banner, an old prompt) so that it does not mix
// with the first reply.
void take_pending_input(serial::Port& port) {
  wait_sync(kSettle);
  const std::vector<std::uint8_t> pending = read_port(port);
  wait_sync(kSettle);
  if (pending.empty()) return;
  SPARVIK_LOG(log::Level::Info, log::Origin("scan", kTarget), "Pre-init data found");
  SPARVIK_LOG(log::Level::Info, log::Origin("scan", kTarget), "{}",
              debug_quote(utf8_lossy(pending)));
}

// Everything of the sweep up to its success. The sweep copy and the port belong to this frame, so
// both are gone before the caller runs the failure exit.
Step sweep_steps(ConnectionInfo sweep, const std::string& csv_directory) {
  const auto range = input_range(sweep.start, sweep.stop);
  if (!range) return std::unexpected(range.error());
  if (auto points = check_points(sweep.points); !points) return points;

  sweep.update_message("Opening connection");
  sweep.set_connection_status(ConnectionStatus::Initialised);
  auto opened = serial::open_port(sweep.port, serial::PortSettings{sweep.baudrate, kReadTimeout});
  if (!opened) {
    SparvikError error = SparvikError::PortConnection(std::move(opened.error()));
    sweep.set_error(SparvikUIError::ScanError(error));
    return std::unexpected(std::move(error));
  }
  serial::Port& port = **opened;

  sweep.update_message("Initialisation...");
  sweep.update_progress(5);
  take_pending_input(port);

  sweep.set_connection_status(ConnectionStatus::Connected);
  sweep.update_progress(15);
  sweep.update_message("Acquiring version & info");
  // Version and information first; the other four replies only go to the log.
  constexpr std::array<const char*, 6> kQueries{"version\r", "info\r",      "leveloffset\r",
                                                "vbat\r",    "usart_cfg\r", "threads\r"};
  std::array<std::string, kQueries.size()> replies;
  for (std::size_t i = 0; i < kQueries.size(); ++i) {
    auto reply = send(port, kQueries[i]);
    if (!reply) return std::unexpected(std::move(reply.error()));
    replies[i] = std::move(*reply);
  }
  const auto& [version, info, level_offset, vbat, usart, threads] = replies;
  SPARVIK_LOG(log::Level::Info, kTarget, "{}{}{}{}", level_offset, vbat, usart, threads);

  if (version.empty() || info.empty()) return std::unexpected(SparvikError::NoVersionFound());
  sweep.update_scan_info(version + info);

  // The set-up rows: message and progress first, then their commands, whose replies are dropped.
  // The repeat count comes after the input range, since a change of input resets it on the device.
  struct Command {
    std::string text;
    std::uint64_t wait = kCommandWait;
    std::chrono::milliseconds silence = kReadTimeout;
  };
  struct Row {
    std::optional<std::uint64_t> progress;  // none: unchanged
    std::string_view message;
    std::vector<Command> commands;
  };
  // "scan" writes nothing until it has measured every point; its wait counts towards that.
  const Micros scan_to_come = scan_time({sweep.start, sweep.stop, kScanPoints, sweep.repeat}) -
                              std::chrono::milliseconds(kScanWait);
  const Row rows[] = {
      {16, "Setting zero...", {{fmt::format("zero {}\r", OFFSET)}}},
      {17, "Setting up marker", {{"marker\r"}, {"pause\r"}}},
      {18, "Setting up scan & mode", {{fmt::format("mode {} input\r", *range)}}},
      {std::nullopt, "Setting up repeat", {{fmt::format("repeat {}\r", sweep.repeat)}}},
      {19,
       "Setting up sweep",
       {{fmt::format("sweep start {}\r", sweep.start)},
        {fmt::format("sweep stop {}\r", sweep.stop)}}},
      {20,
       "Sweeping...",
       {{"sweep\r"},
        {fmt::format("scan {} {} {} 101\r", sweep.start, sweep.stop, kScanPoints), kScanWait,
         measurement_allowance(std::max(scan_to_come, Micros::zero()))}}},
  };
  for (const Row& row : rows) {
    if (row.progress) sweep.update_progress(*row.progress);
    sweep.update_message(row.message);
    for (const Command& command : row.commands) {
      auto reply = send_cmd(port, command.text, command.wait, command.silence);
      if (!reply) return std::unexpected(std::move(reply.error()));
    }
  }

  sweep.update_progress(22);
  sweep.update_message("Starting scan...");
  sweep.set_connection_status(ConnectionStatus::ScanStarted);
  const std::string scanraw =
      fmt::format("scanraw {} {} {}\r", sweep.start, sweep.stop, sweep.points);
  if (auto written = port.write(
          std::span(reinterpret_cast<const std::uint8_t*>(scanraw.data()), scanraw.size()));
      !written) {
    return std::unexpected(SparvikError::SendError(std::move(written.error())));
  }
  wait_sync(kSettle);

  // check_points keeps the expected size from overflowing. The records come in blocks, each
  // written once it is measured.
  const ScanrawRead read{scanraw, 3 * sweep.points + 6,
                         measurement_allowance(scanraw_block_time(
                             {sweep.start, sweep.stop, sweep.points, sweep.repeat}))};
  const std::vector<std::uint8_t> reply = read_scanraw(port, read, sweep.progress);
  auto decoded = decode_scanraw(reply, sweep.start, sweep.stop, sweep.points, csv_directory);
  if (!decoded) return std::unexpected(std::move(decoded.error()));
  auto& [points, file_name] = *decoded;

  sweep.return_data.set(std::move(points));
  wait_sync(kBeforeFileName);
  sweep.file_name.set(std::move(file_name));
  sweep.update_message("Scan finished");
  if (auto reply_to_resume = send_cmd(port, "resume\r", kCommandWait); !reply_to_resume) {
    return std::unexpected(std::move(reply_to_resume.error()));
  }
  sweep.update_progress(100);
  sweep.set_connection_status(ConnectionStatus::ClosedWithSuccess);
  return {};
}

// The first error stored wins; the status turns to ConnectionFailure in any case.
void fail_sweep(const ConnectionInfo& report, SparvikError error) {
  SPARVIK_LOG(log::Level::Error, "sparvik::ui", "An error occured during thread exec: {}",
              error.display());
  const bool empty = report.error_raised.with([](const auto& stored) { return !stored; });
  if (empty) report.set_error(SparvikUIError::ScanError(std::move(error)));
  report.set_connection_status(ConnectionStatus::ConnectionFailure);
}

}  // namespace

void run_sweep(ConnectionInfo sweep, ConnectionInfo report) {
  run_sweep_writing_to(std::move(sweep), std::move(report), ".");
}

void run_sweep_writing_to(ConnectionInfo sweep, ConnectionInfo report, std::string csv_directory) {
  Step outcome = sweep_steps(std::move(sweep), csv_directory);
  if (!outcome) fail_sweep(report, std::move(outcome.error()));
}

}  // namespace sparvik::scan
