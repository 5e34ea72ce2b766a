// The point records of a "scanraw" reply, built as the analyser sends them, for tests of the
// decoder, the reply reader and the simulated analyser.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace sparvik::test_support {

// One record: the marker ('x' for a point) and the raw level, little-endian.
inline std::string rec(std::uint16_t raw, char marker = 'x') {
  return {marker, static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8)};
}

inline std::string recs(std::initializer_list<std::uint16_t> raws) {
  std::string out;
  for (auto raw : raws) out += rec(raw);
  return out;
}

}  // namespace sparvik::test_support
