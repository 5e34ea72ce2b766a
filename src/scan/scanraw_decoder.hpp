// Decodes the analyser's "scanraw" reply into (MHz, dBm) points and writes them to the sweep's
// CSV file, with the diagnostic log records of the reply's edges.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "structs/connection_info.hpp"
#include "structs/errors.hpp"

namespace sparvik::scan {

// The reply: anything, "{", then 3-byte groups 'x' lo hi (a raw level), ended by a '}' group or
// by the end of the data (the analyser's lone "}" before its prompt is no whole group).
// Creates "scan_<local time>.csv" in `directory` (with "_1", "_2", ... when taken) and returns the
// points and that file name (the bare name, without the directory). Errors: OpenOutput (file),
// ParseBeggining (no "{"), ParseEnd (a group starting with neither 'x' nor '}', or a number of
// records other than `points`, as in a reply cut short).
std::expected<std::pair<SweepPoints, std::string>, SparvikError> decode_scanraw(
    std::span<const std::uint8_t> reply, std::uint64_t start, std::uint64_t stop,
    std::uint64_t points, std::string_view directory = ".");

// Hz between two points. A single point (or none) has no step: every point lies at the start.
double frequency_step(std::uint64_t start, std::uint64_t stop, std::uint64_t points) noexcept;

}  // namespace sparvik::scan
