// The one read loop of the serial dialogue: collects what the analyser sends up to its prompt,
// within a size cap, so that a device that never stops sending cannot hold the sweep or grow its
// memory without limit.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/serial/serial_port.hpp"

namespace sparvik::scan {

// Called after each successful read with the number of bytes collected before it.
using ChunkCallback = std::function<void(std::size_t collected)>;

// Where a reply begins. With a marker, the bytes before its first occurrence are passed over, and
// a prompt among them does not end the reply; the reply begins with the marker itself. Once more
// than `max_dropped` bytes were passed over, no further read is made and the reply ends empty.
struct ReplyStart {
  std::span<const std::uint8_t> marker{};
  std::size_t max_dropped = 0;
};

struct Reply {
  std::vector<std::uint8_t> bytes;
  std::size_t dropped = 0;  // passed over before the marker
};

// Reads into `buffer` until the prompt arrives within one read (it and what follows it in that
// read are dropped), a read fails (each waits up to `silence` for its first byte), or `cap` bytes
// are collected; a full cap ends the reply as a failed read would. The prompt counts only when
// its three bytes come in one read, after the start of the reply.
Reply read_reply(serial::Port& port, std::span<std::uint8_t> buffer, std::size_t cap,
                 std::chrono::milliseconds silence, const ChunkCallback& on_chunk = {},
                 ReplyStart start = {});

// A reply that begins with the first byte read.
std::vector<std::uint8_t> read_until_prompt(serial::Port& port, std::span<std::uint8_t> buffer,
                                            std::size_t cap, std::chrono::milliseconds silence,
                                            const ChunkCallback& on_chunk = {});

}  // namespace sparvik::scan
