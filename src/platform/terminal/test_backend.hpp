// A Backend for tests: keeps what a real console would show, records every write, serves
// scripted events and fails on request. Drawing and polling happen on one thread; events may be
// pushed from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/terminal/backend.hpp"
#include "widgets/core/buffer.hpp"

namespace sparvik::term {

class TestBackend final : public Backend {
 public:
  struct WrittenCell {
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    widgets::Cell cell;
  };

  // Set one to make that operation fail with it, until it is reset.
  struct Failures {
    std::optional<IoError> size, draw, clear, flush, hide_cursor, show_cursor, poll, read;
  };

  TestBackend(std::uint16_t width, std::uint16_t height);

  std::expected<widgets::Rect, IoError> size() override;
  std::expected<void, IoError> draw(std::span<const CellUpdate> cells) override;
  std::expected<void, IoError> clear() override;
  std::expected<void, IoError> flush() override;
  std::expected<void, IoError> hide_cursor() override;
  std::expected<void, IoError> show_cursor() override;
  // True at once when an event is queued. Otherwise runs the idle handler when one is set and
  // reports what it queued, or else waits up to `timeout` for another thread to push one.
  std::expected<bool, IoError> poll(std::chrono::milliseconds timeout) override;
  // The next queued event; fails when there is none, since a test would otherwise hang.
  std::expected<Event, IoError> read() override;

  // Scripted input.
  void push_event(Event event);
  void push_key(KeyCode code, Modifiers mods = Modifiers::None,
                KeyEventKind kind = KeyEventKind::Press);
  void push_char(char32_t ch, Modifiers mods = Modifiers::None,
                 KeyEventKind kind = KeyEventKind::Press);
  std::size_t queued_events() const;
  // Called by poll() whenever the queue is empty, e.g. to push the next key once the screen
  // shows what the test waits for.
  void set_idle_handler(std::function<void(TestBackend&)> handler);
  // A new console size, blank as after a real resize, and a ResizeEvent queued.
  void resize(std::uint16_t width, std::uint16_t height);

  // What the console shows now.
  const widgets::Buffer& screen() const { return screen_; }
  std::vector<std::string> lines() const { return screen_.lines(); }
  // The cells of the most recent draw() call, in the order given.
  const std::vector<WrittenCell>& last_draw() const { return last_draw_; }
  std::size_t cells_written() const { return cells_written_; }
  std::size_t draw_calls() const { return draw_calls_; }
  std::size_t flush_calls() const { return flush_calls_; }
  std::size_t clear_calls() const { return clear_calls_; }
  std::size_t poll_calls() const { return poll_timeouts_.size(); }
  // The time-out of each poll() that did not fail, in turn.
  const std::vector<std::chrono::milliseconds>& poll_timeouts() const { return poll_timeouts_; }
  bool cursor_hidden() const { return cursor_hidden_; }
  std::size_t show_cursor_calls() const { return show_cursor_calls_; }

  Failures failures;

 private:
  widgets::Buffer screen_;
  std::vector<WrittenCell> last_draw_;
  std::size_t cells_written_ = 0;
  std::size_t draw_calls_ = 0;
  std::size_t flush_calls_ = 0;
  std::size_t clear_calls_ = 0;
  std::vector<std::chrono::milliseconds> poll_timeouts_;
  bool cursor_hidden_ = false;
  std::size_t show_cursor_calls_ = 0;
  std::function<void(TestBackend&)> idle_handler_;

  mutable std::mutex mutex_;
  std::condition_variable event_pushed_;
  std::deque<Event> events_;
};

}  // namespace sparvik::term
