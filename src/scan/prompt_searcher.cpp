#include "scan/prompt_searcher.hpp"

namespace sparvik::scan {

PromptSearcher::PromptSearcher() : searcher_(kPrompt.data(), kPrompt.data() + kPrompt.size()) {}

std::optional<std::size_t> PromptSearcher::find(std::span<const std::uint8_t> bytes) const {
  if (bytes.size() < kPrompt.size()) return std::nullopt;
  const std::uint8_t* first = bytes.data();
  const std::uint8_t* last = first + bytes.size();
  const auto [match, match_end] = searcher_(first, last);
  if (match == last) return std::nullopt;
  return static_cast<std::size_t>(match - first);
}

const PromptSearcher& EOF_SEARCHER() {
  static const PromptSearcher searcher;
  return searcher;
}

}  // namespace sparvik::scan
