// The one read loop of the serial dialogue: collects what the analyser sends up to its prompt,
// within a size cap, so that a device that never stops sending cannot hold the sweep or grow its
// memory without limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/serial/serial_port.hpp"

namespace sparvik::scan {

// Called after each successful read with the number of bytes collected before it.
using ChunkCallback = std::function<void(std::size_t collected)>;

// Reads into `buffer` until the prompt arrives within one read (it and what follows it in that
// read are dropped), a read fails, or `cap` bytes are collected; a full cap ends the reply as a
// failed read would. The prompt counts only when its three bytes come in one read.
std::vector<std::uint8_t> read_until_prompt(serial::Port& port, std::span<std::uint8_t> buffer,
                                            std::size_t cap, const ChunkCallback& on_chunk = {});

}  // namespace sparvik::scan
