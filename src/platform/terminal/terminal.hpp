// The full-screen terminal over a Backend: two cell buffers (this frame and the last), a draw that
// hands the back end only the cells that changed, and the event pass-through.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <expected>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/io_error.hpp"
#include "platform/terminal/backend.hpp"
#include "platform/terminal/event.hpp"
#include "widgets/core/buffer.hpp"
#include "widgets/core/frame.hpp"

namespace sparvik::term {

class Terminal {
 public:
  // Buffers sized to the back end's console. The back end must outlive the Terminal.
  static std::expected<Terminal, IoError> create(Backend& backend);

  Terminal(Terminal&& other) noexcept;
  Terminal& operator=(Terminal&&) = delete;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  // Shows the cursor again if this terminal hid it; a failure is reported on standard error.
  ~Terminal();

  // Draws one frame: picks up a new console size (then repaints everything), calls render(frame)
  // on a blank buffer, writes only the cells that differ from the last frame and flushes. When no
  // cell changed nothing at all is written.
  template <class F>
  std::expected<void, IoError> draw(F&& render) {
    static_assert(std::is_void_v<std::invoke_result_t<F&, widgets::Frame&>>,
                  "the drawing function handles its own failures and returns nothing");
    if (auto begun = begin_frame(); !begun) return begun;
    widgets::Frame frame(buffers_[current_]);
    render(frame);
    return end_frame();
  }

  std::expected<bool, IoError> poll(std::chrono::milliseconds timeout) {
    return backend_->poll(timeout);
  }
  std::expected<Event, IoError> read() { return backend_->read(); }

  // The area of the frames, as of the last draw (or creation).
  widgets::Rect area() const { return buffers_[current_].area(); }
  // The frame most recently drawn.
  const widgets::Buffer& last_frame() const { return buffers_[1 - current_]; }

 private:
  Terminal(Backend& backend, widgets::Rect area);
  std::expected<void, IoError> begin_frame();
  std::expected<void, IoError> end_frame();

  Backend* backend_;
  std::array<widgets::Buffer, 2> buffers_;
  std::size_t current_ = 0;
  std::vector<CellUpdate> updates_;
  bool repaint_ = true;  // the next frame writes every cell
  bool hidden_cursor_ = false;
};

}  // namespace sparvik::term
