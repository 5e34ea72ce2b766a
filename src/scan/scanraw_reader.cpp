#include "scan/scanraw_reader.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "scan/prompt_searcher.hpp"

namespace sparvik::scan {

namespace {
constexpr std::size_t kReadBufferSize = 64;
// Never reserve more than this up front: `expected` comes from the request, not from the line.
constexpr std::uint64_t kMaxReserve = 64ull << 20;
}  // namespace

std::uint64_t scanraw_progress(std::uint64_t collected, std::uint64_t expected) noexcept {
  if (expected == 0) return 99;
  const std::uint64_t remaining = collected < expected ? expected - collected : 0;
  // remaining ≤ expected, so the quotient is at most 80; the product needs 128 bits for huge sizes.
  __extension__ typedef unsigned __int128 Wide;
  const auto share = static_cast<std::uint64_t>(Wide{remaining} * 80 / expected);
  return std::clamp<std::uint64_t>(100 - share, 20, 99);
}

std::vector<std::uint8_t> read_scanraw(serial::Port& port, std::uint64_t expected,
                                       const SharedCell<std::uint64_t>& progress) {
  const PromptSearcher& prompt = EOF_SEARCHER();
  std::vector<std::uint8_t> reply;
  reply.reserve(static_cast<std::size_t>(std::min(expected, kMaxReserve)));
  std::array<std::uint8_t, kReadBufferSize> buffer{};
  for (;;) {
    const auto got = port.read(buffer);
    if (!got || *got == 0) break;
    const std::span<const std::uint8_t> fresh(buffer.data(), std::min(*got, buffer.size()));
    progress.set(scanraw_progress(reply.size(), expected));
    if (const auto at = prompt.find(fresh)) {
      reply.insert(reply.end(), fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(*at));
      break;
    }
    reply.insert(reply.end(), fresh.begin(), fresh.end());
  }
  return reply;
}

}  // namespace sparvik::scan
