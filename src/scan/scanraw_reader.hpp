// Collects the analyser's binary "scanraw" reply up to the prompt, publishing a progress
// percentage (20 to 99) in the shared cell after every read.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/serial/serial_port.hpp"
#include "structs/shared_cell.hpp"

namespace sparvik::scan {

// `expected` is the reply size the progress is measured against (3 × points + 6). Never fails:
// a failed read ends the reply.
std::vector<std::uint8_t> read_scanraw(serial::Port& port, std::uint64_t expected,
                                       const SharedCell<std::uint64_t>& progress);

// The percentage stored before `collected` bytes (so far) are joined by a read's bytes.
std::uint64_t scanraw_progress(std::uint64_t collected, std::uint64_t expected) noexcept;

}  // namespace sparvik::scan
