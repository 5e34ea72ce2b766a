// Collects the analyser's binary "scanraw" reply, from the echo of its command line up to the
// prompt, publishing a progress percentage (20 to 99) in the shared cell after every read.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/serial/serial_port.hpp"
#include "scan/command_channel.hpp"
#include "structs/shared_cell.hpp"

namespace sparvik::scan {

// Room beyond the expected size for the echoed command line and a preamble; a reply past it is
// cut there, as if a read had failed.
inline constexpr std::size_t kScanrawReplyMargin = 4096;

// What the reader needs besides the port: the command line as sent (with its "\r"), the reply
// size the progress is measured against (3 × points + 6), and how long a read may wait while the
// analyser measures.
struct ScanrawRead {
  std::string_view command;
  std::uint64_t expected = 0;
  std::chrono::milliseconds silence = kReadTimeout;
};

// Never fails: a failed read ends the reply, and so does reaching scanraw_reply_cap(expected)
// bytes. The reply begins with the command's echo: what came before it (a late reply of an
// earlier command, its prompt) is dropped, within a command reply's bound, and logged by count.
std::vector<std::uint8_t> read_scanraw(serial::Port& port, const ScanrawRead& read,
                                       const SharedCell<std::uint64_t>& progress);

// The most a reply of `expected` bytes may grow to: expected + kScanrawReplyMargin.
std::size_t scanraw_reply_cap(std::uint64_t expected) noexcept;

// The percentage stored before `collected` bytes (so far) are joined by a read's bytes.
std::uint64_t scanraw_progress(std::uint64_t collected, std::uint64_t expected) noexcept;

}  // namespace sparvik::scan
