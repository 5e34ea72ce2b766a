#include "platform/terminal/test_backend.hpp"

namespace sparvik::term {

TestBackend::TestBackend(std::uint16_t width, std::uint16_t height)
    : screen_(widgets::Rect{0, 0, width, height}) {}

std::expected<widgets::Rect, IoError> TestBackend::size() {
  if (failures.size) return std::unexpected(*failures.size);
  return screen_.area();
}

std::expected<void, IoError> TestBackend::draw(std::span<const CellUpdate> cells) {
  if (failures.draw) return std::unexpected(*failures.draw);
  ++draw_calls_;
  last_draw_.clear();
  for (const CellUpdate& update : cells) {
    last_draw_.push_back({update.x, update.y, *update.cell});
    if (screen_.area().contains(update.x, update.y)) screen_.at(update.x, update.y) = *update.cell;
  }
  cells_written_ += cells.size();
  return {};
}

std::expected<void, IoError> TestBackend::clear() {
  if (failures.clear) return std::unexpected(*failures.clear);
  ++clear_calls_;
  screen_.reset();
  return {};
}

std::expected<void, IoError> TestBackend::flush() {
  if (failures.flush) return std::unexpected(*failures.flush);
  ++flush_calls_;
  return {};
}

std::expected<void, IoError> TestBackend::hide_cursor() {
  if (failures.hide_cursor) return std::unexpected(*failures.hide_cursor);
  cursor_hidden_ = true;
  return {};
}

std::expected<void, IoError> TestBackend::show_cursor() {
  ++show_cursor_calls_;
  if (failures.show_cursor) return std::unexpected(*failures.show_cursor);
  cursor_hidden_ = false;
  return {};
}

std::expected<bool, IoError> TestBackend::poll(std::chrono::milliseconds timeout) {
  if (failures.poll) return std::unexpected(*failures.poll);
  poll_timeouts_.push_back(timeout);
  std::unique_lock lock(mutex_);
  if (!events_.empty()) return true;
  if (idle_handler_) {
    lock.unlock();
    idle_handler_(*this);
    lock.lock();
    return !events_.empty();
  }
  return event_pushed_.wait_for(lock, timeout, [this] { return !events_.empty(); });
}

std::expected<Event, IoError> TestBackend::read() {
  if (failures.read) return std::unexpected(*failures.read);
  std::lock_guard lock(mutex_);
  if (events_.empty()) {
    return std::unexpected(
        IoError::custom(IoErrorKind::UnexpectedEof, "no scripted event left to read"));
  }
  Event event = events_.front();
  events_.pop_front();
  return event;
}

void TestBackend::push_event(Event event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  event_pushed_.notify_all();
}

void TestBackend::push_key(KeyCode code, Modifiers mods, KeyEventKind kind) {
  push_event(KeyEvent{code, 0, kind, mods});
}

void TestBackend::push_char(char32_t ch, Modifiers mods, KeyEventKind kind) {
  push_event(KeyEvent{KeyCode::Char, ch, kind, mods});
}

std::size_t TestBackend::queued_events() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

void TestBackend::set_idle_handler(std::function<void(TestBackend&)> handler) {
  idle_handler_ = std::move(handler);
}

void TestBackend::resize(std::uint16_t width, std::uint16_t height) {
  screen_.resize(widgets::Rect{0, 0, width, height});
  screen_.reset();
  push_event(ResizeEvent{width, height});
}

}  // namespace sparvik::term
