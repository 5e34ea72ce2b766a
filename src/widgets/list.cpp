// A list drawn through its selection state, which is pulled back into range on every render.
#include "widgets/list.hpp"

#include <algorithm>

#include "widgets/draw_line.hpp"

namespace sparvik::widgets {

namespace {

// Keeps the selection on an existing row (none for an empty list) and the offset such that the
// selected row is among the `height` rows shown, never scrolled past a full last page. Works for
// any index, SIZE_MAX included.
void clamp_state(ListState& state, std::size_t count, std::size_t height) {
  if (count == 0) {
    state.selected.reset();
    state.offset = 0;
    return;
  }
  const std::size_t last = count - 1;
  if (state.selected && *state.selected > last) state.selected = last;
  if (state.selected) {
    const std::size_t sel = *state.selected;
    if (sel < state.offset || height == 0) {
      state.offset = sel;
    } else if (sel - state.offset >= height) {
      state.offset = sel - (height - 1);
    }
  }
  const std::size_t last_page = height == 0 ? last : count - std::min(count, height);
  state.offset = std::min(state.offset, last_page);
}

}  // namespace

void List::render(Rect area, Buffer& buf, ListState& state) const {
  area = area.intersection(buf.area());
  const Rect list_area = inner_area(block_, area);
  // The state is clamped even when nothing can be shown: callers read the selection back.
  clamp_state(state, items_.size(), list_area.height);
  if (area.empty()) return;
  render_backdrop(block_, style_, area, buf);
  if (list_area.empty()) return;

  for (std::size_t row = 0; row < list_area.height; ++row) {
    const std::size_t index = state.offset + row;
    if (index >= items_.size()) break;
    const auto y = static_cast<std::uint16_t>(list_area.y + row);
    draw_line(buf, list_area.x, y, items_[index], list_area.width);
    if (state.selected == index) {
      buf.set_style(Rect{list_area.x, y, list_area.width, 1}, highlight_style_);
    }
  }
}

}  // namespace sparvik::widgets
