#include "scan/scanraw_reader.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <string>

#include "platform/io_error.hpp"
#include "platform/log/log.hpp"
#include "scan/prompt_reader.hpp"

namespace sparvik::scan {

namespace {

constexpr std::size_t kReadBufferSize = 64;

// How the analyser echoes a command line: its characters, then "\r\n" for the carriage return.
std::string echo_of(std::string_view command) {
  std::string echo(command.substr(0, command.find('\r')));
  echo += "\r\n";
  return echo;
}

}  // namespace

std::uint64_t scanraw_progress(std::uint64_t collected, std::uint64_t expected) noexcept {
  if (expected == 0) return 99;
  const std::uint64_t remaining = collected < expected ? expected - collected : 0;
  // remaining ≤ expected, so the quotient is at most 80; the product needs 128 bits for huge sizes.
  __extension__ typedef unsigned __int128 Wide;
  const auto share = static_cast<std::uint64_t>(Wide{remaining} * 80 / expected);
  return std::clamp<std::uint64_t>(100 - share, 20, 99);
}

std::size_t scanraw_reply_cap(std::uint64_t expected) noexcept {
  constexpr std::uint64_t kMax = std::numeric_limits<std::size_t>::max();
  return static_cast<std::size_t>(
      expected > kMax - kScanrawReplyMargin ? kMax : expected + kScanrawReplyMargin);
}

std::vector<std::uint8_t> read_scanraw(serial::Port& port, const ScanrawRead& read,
                                       const SharedCell<std::uint64_t>& progress) {
  std::array<std::uint8_t, kReadBufferSize> buffer{};
  const std::string echo = echo_of(read.command);
  const ReplyStart start{std::span(reinterpret_cast<const std::uint8_t*>(echo.data()), echo.size()),
                         kMaxCommandReply};
  Reply reply = read_reply(
      port, buffer, scanraw_reply_cap(read.expected), read.silence,
      [&](std::size_t collected) { progress.set(scanraw_progress(collected, read.expected)); },
      start);
  if (reply.dropped > 0) {
    SPARVIK_LOG(log::Level::Info, "sparvik::scan", "Dropped {} bytes that came before {}",
                reply.dropped, debug_quote(echo));
  }
  return std::move(reply.bytes);
}

}  // namespace sparvik::scan
