#include "structs/utf8.hpp"

#include "utf8/utf8.hpp"

#include <cstddef>

namespace sparvik {

bool is_valid_utf8(std::string_view text) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    const utf8::Step step = utf8::step_at(text, i);
    if (!step.valid) return false;
    i += step.length;
  }
  return true;
}

}  // namespace sparvik
