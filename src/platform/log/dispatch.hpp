// The process-wide slot holding the one installed spdlog logger, its sink and the filter in front.
#pragma once

#include <spdlog/logger.h>
#include <spdlog/sinks/sink.h>

#include <memory>

#include "platform/log/log.hpp"

namespace sparvik::log::detail {

// Puts a logger writing to `sink` in the slot, its level the filter's highest; null when the slot
// is taken. The logger outlives its time in the slot: a record may still be on its way through it
// after it has left, so the owner closes the sink when done with it, and a later install frees the
// logger once no record can reach it.
spdlog::logger* install(Filter filter, spdlog::sink_ptr sink);
// Empties the slot if it holds the logger of `sink`; records that have not read the slot yet are
// dropped from now on. The owner closes the sink after this.
void uninstall(const spdlog::sinks::sink* sink) noexcept;

}  // namespace sparvik::log::detail
