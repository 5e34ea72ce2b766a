// The analyser's prompt "ch>" and the one searcher for it, built once per process and shared
// read-only by every reader of the serial line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace sparvik::scan {

class PromptSearcher {
 public:
  PromptSearcher();
  // Offset of the leftmost "ch>" in `bytes`, or nothing (always nothing below three bytes).
  std::optional<std::size_t> find(std::span<const std::uint8_t> bytes) const;

 private:
  static constexpr std::array<std::uint8_t, 3> kPrompt{'c', 'h', '>'};
  std::boyer_moore_horspool_searcher<const std::uint8_t*> searcher_;
};

// Built on first use under the language's thread-safe static initialisation. (`EOF` itself is a
// macro of <cstdio>, hence the longer name.)
const PromptSearcher& EOF_SEARCHER();

}  // namespace sparvik::scan
