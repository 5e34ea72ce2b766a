#include "scan/prompt_reader.hpp"

#include <algorithm>

#include "scan/prompt_searcher.hpp"

namespace sparvik::scan {

std::vector<std::uint8_t> read_until_prompt(serial::Port& port, std::span<std::uint8_t> buffer,
                                            std::size_t cap, const ChunkCallback& on_chunk) {
  const PromptSearcher& prompt = EOF_SEARCHER();
  std::vector<std::uint8_t> reply;
  while (reply.size() < cap) {
    const auto got = port.read(buffer);
    // A port never reports an empty read; should one do so, it ends the reply like a failure
    // instead of spinning.
    if (!got || *got == 0) break;
    if (on_chunk) on_chunk(reply.size());
    const std::span<const std::uint8_t> fresh = buffer.first(std::min(*got, buffer.size()));
    const auto at = prompt.find(fresh);
    const std::size_t keep = std::min(at.value_or(fresh.size()), cap - reply.size());
    reply.insert(reply.end(), fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(keep));
    if (at) break;
  }
  return reply;
}

}  // namespace sparvik::scan
