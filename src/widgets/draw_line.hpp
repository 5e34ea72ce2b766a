// Writing one styled Line into a buffer: shared by the widgets that show text.
#pragma once

#include <cstdint>

#include "widgets/core/buffer.hpp"
#include "widgets/text.hpp"

namespace sparvik::widgets {

// Writes the spans of `line` from (x, y), each in its own style, cut at `max_width` cells and at
// the buffer's edge. Returns the column after the last cell written.
std::uint16_t draw_line(Buffer& buf, std::uint16_t x, std::uint16_t y, const Line& line,
                        std::uint16_t max_width);

}  // namespace sparvik::widgets
