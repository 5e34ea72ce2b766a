// A small tree of debug values (structs, wrappers such as Some(..), lists, plain leaves) printed
// on one line or pretty over several, the way structured debug output reads.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sparvik {

// A double as structured debug output writes it: always with a decimal point or an exponent
// ("240.0", "-34.25", "1e16", "1.5e-7"), and "NaN", "inf", "-inf".
std::string debug_float(double value);

class DebugNode {
 public:
  // A value already in its debug form, e.g. `115200` or `"COM3"`.
  static DebugNode leaf(std::string text);
  // `Name { field: value, .. }`; `non_exhaustive` adds the trailing `..`.
  static DebugNode record(std::string name, std::vector<std::pair<std::string, DebugNode>> fields,
                          bool non_exhaustive = false);
  // `Name(value)`.
  static DebugNode wrapper(std::string name, DebugNode inner);
  // `[a, b, c]`.
  static DebugNode list(std::vector<DebugNode> items);

  std::string compact() const;
  // Four spaces per level; every field and item on a line of its own with a trailing comma.
  std::string pretty() const;

 private:
  enum class Shape { Leaf, Record, Wrapper, List };
  void write_compact(std::string& out) const;
  void write_pretty(std::string& out, int depth) const;

  Shape shape_ = Shape::Leaf;
  std::string text_;  // leaf text or the record's / wrapper's name
  std::vector<std::pair<std::string, DebugNode>> children_;  // names are empty outside records
  bool non_exhaustive_ = false;
};

}  // namespace sparvik
