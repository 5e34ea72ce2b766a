#include "scan/prompt_reader.hpp"

#include <algorithm>
#include <optional>

#include "scan/prompt_searcher.hpp"

namespace sparvik::scan {

namespace {

// While the reply's start is still to come, `held` keeps only the bytes that may begin its
// marker; the rest are dropped. Returns where the marker begins in held + fresh, once it has come.
std::optional<std::size_t> look_for_start(std::vector<std::uint8_t>& held,
                                          std::span<const std::uint8_t> fresh,
                                          std::span<const std::uint8_t> marker,
                                          std::size_t& dropped) {
  held.insert(held.end(), fresh.begin(), fresh.end());
  const auto match = std::ranges::search(held, marker);
  if (!match.empty()) return static_cast<std::size_t>(match.begin() - held.begin());
  const std::size_t keep = std::min(held.size(), marker.size() - 1);
  dropped += held.size() - keep;
  held.erase(held.begin(), held.end() - static_cast<std::ptrdiff_t>(keep));
  return std::nullopt;
}

}  // namespace

Reply read_reply(serial::Port& port, std::span<std::uint8_t> buffer, std::size_t cap,
                 std::chrono::milliseconds silence, const ChunkCallback& on_chunk,
                 ReplyStart start) {
  const PromptSearcher& prompt = EOF_SEARCHER();
  Reply out;
  std::vector<std::uint8_t>& reply = out.bytes;
  bool started = start.marker.empty();
  while (started ? reply.size() < cap : out.dropped <= start.max_dropped) {
    const auto got = port.read(buffer, silence);
    // A port never reports an empty read; should one do so, it ends the reply like a failure
    // instead of spinning.
    if (!got || *got == 0) break;
    if (on_chunk) on_chunk(started ? reply.size() : 0);
    std::span<const std::uint8_t> fresh = buffer.first(std::min(*got, buffer.size()));
    if (!started) {
      const std::size_t held = reply.size();
      const auto at = look_for_start(reply, fresh, start.marker, out.dropped);
      if (!at) continue;
      out.dropped += *at;
      reply.erase(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(*at));
      started = true;
      // The marker ends in this read, and only what follows it may hold the prompt.
      fresh = fresh.subspan(*at + start.marker.size() - held);
      reply.resize(std::min(reply.size() - fresh.size(), cap));
    }
    const auto at = prompt.find(fresh);
    const std::size_t keep = std::min(at.value_or(fresh.size()), cap - reply.size());
    reply.insert(reply.end(), fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(keep));
    if (at) break;
  }
  if (!started) {
    out.dropped += reply.size();
    reply.clear();
  }
  return out;
}

std::vector<std::uint8_t> read_until_prompt(serial::Port& port, std::span<std::uint8_t> buffer,
                                            std::size_t cap, std::chrono::milliseconds silence,
                                            const ChunkCallback& on_chunk) {
  return read_reply(port, buffer, cap, silence, on_chunk).bytes;
}

}  // namespace sparvik::scan
