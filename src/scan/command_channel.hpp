// The command channel to the analyser's shell: write one command line, wait, collect the answer
// up to the prompt "ch>", wait again. Used by the sweep worker for every command.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial/serial_port.hpp"
#include "structs/errors.hpp"

namespace sparvik::scan {

// Level offset in dB: sent with "zero" and taken off every decoded level.
inline constexpr std::uint64_t OFFSET = 128;

// The most a command's reply may hold; the longest real one is a few hundred bytes.
inline constexpr std::size_t kMaxCommandReply = 64 * 1024;

// How long a read of a reply waits for its first byte, unless the device is measuring.
inline constexpr std::chrono::milliseconds kReadTimeout{3000};

// Blocks the calling thread for `ms` milliseconds, measured on the steady clock.
void wait_sync(std::uint64_t ms);

// Everything received before the prompt. The prompt counts only when its three bytes arrive in
// one read; otherwise the reply ends at the first failed read (an I/O error, or `silence` without
// a byte), or after kMaxCommandReply bytes.
std::vector<std::uint8_t> read_port(serial::Port& port,
                                    std::chrono::milliseconds silence = kReadTimeout);

// One write of `cmd` (its count is not looked at), `wait` ms, the reply up to the prompt as text
// (invalid UTF-8 replaced, nothing trimmed), then a fixed 200 ms. A failed write is SendError and
// nothing else happens. `silence` is longer than kReadTimeout only for a command that measures.
std::expected<std::string, SparvikError> send_cmd(serial::Port& port, std::string_view cmd,
                                                  std::uint64_t wait,
                                                  std::chrono::milliseconds silence = kReadTimeout);

}  // namespace sparvik::scan
