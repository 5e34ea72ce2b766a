#include "platform/terminal/terminal.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <cstring>

namespace sparvik::term {
std::expected<Terminal, IoError> Terminal::create(Backend& backend) {
  auto area = backend.size();
  if (!area) return std::unexpected(area.error());
  return Terminal(backend, *area);
}

Terminal::Terminal(Backend& backend, widgets::Rect area)
    : backend_(&backend), buffers_{widgets::Buffer(area), widgets::Buffer(area)} {}

Terminal::Terminal(Terminal&& other) noexcept
    : backend_(std::exchange(other.backend_, nullptr)),
      buffers_(std::move(other.buffers_)),
      current_(other.current_),
      updates_(std::move(other.updates_)),
      repaint_(other.repaint_),
      hidden_cursor_(std::exchange(other.hidden_cursor_, false)) {}

Terminal::~Terminal() {
  if (backend_ == nullptr || !hidden_cursor_) return;
  if (auto shown = backend_->show_cursor(); !shown) {
    std::fputs(fmt::format("Failed to show the cursor: {}\n", shown.error().display()).c_str(),
               stderr);
  }
}

std::expected<void, IoError> Terminal::begin_frame() {
  auto area = backend_->size();
  if (!area) return std::unexpected(area.error());
  if (*area != buffers_[current_].area()) {
    buffers_[0].resize(*area);
    buffers_[1].resize(*area);
    if (auto cleared = backend_->clear(); !cleared) return cleared;
    repaint_ = true;
  }
  buffers_[current_].reset();
  return {};
}

std::expected<void, IoError> Terminal::end_frame() {
  const widgets::Buffer& now = buffers_[current_];
  const std::span<const widgets::Cell> cells = now.content();
  const std::span<const widgets::Cell> before = buffers_[1 - current_].content();
  const widgets::Rect area = now.area();
  updates_.clear();
  // Cells have no padding, so equal bytes are equal frames: the usual idle case in one memcmp.
  const bool unchanged =
      !repaint_ && std::memcmp(cells.data(), before.data(), cells.size_bytes()) == 0;
  std::size_t i = 0;
  for (std::uint16_t row = 0; row < area.height && !unchanged; ++row) {
    const auto y = static_cast<std::uint16_t>(area.y + row);
    for (std::uint16_t col = 0; col < area.width; ++col, ++i) {
      if (repaint_ || cells[i] != before[i]) {
        updates_.push_back({static_cast<std::uint16_t>(area.x + col), y, &cells[i]});
      }
    }
  }

  if (!hidden_cursor_) {
    if (auto hidden = backend_->hide_cursor(); !hidden) return hidden;
    hidden_cursor_ = true;
  }
  if (!updates_.empty()) {
    // After a failed write the console holds an unknown mix of frames: repaint it all next time.
    repaint_ = true;
    if (auto drawn = backend_->draw(updates_); !drawn) return drawn;
    if (auto flushed = backend_->flush(); !flushed) return flushed;
  }
  repaint_ = false;
  current_ = 1 - current_;
  return {};
}

}  // namespace sparvik::term
