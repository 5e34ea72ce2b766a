// The seam between the frame-diffing Terminal and a concrete console: ncurses here, a recording
// back end in tests, another console API on another platform.
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <span>

#include "platform/io_error.hpp"
#include "platform/terminal/event.hpp"
#include "widgets/core/buffer.hpp"
#include "widgets/core/rect.hpp"

namespace sparvik::term {

// One cell to write at column x, row y. The cell belongs to the caller and lives until draw()
// returns.
struct CellUpdate {
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  const widgets::Cell* cell = nullptr;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // The console window, origin (0, 0).
  virtual std::expected<widgets::Rect, IoError> size() = 0;
  // Queues the cells; nothing need reach the console before flush().
  virtual std::expected<void, IoError> draw(std::span<const CellUpdate> cells) = 0;
  // Makes the next flush repaint the whole console, whatever it believes is on it.
  virtual std::expected<void, IoError> clear() = 0;
  virtual std::expected<void, IoError> flush() = 0;
  virtual std::expected<void, IoError> hide_cursor() = 0;
  virtual std::expected<void, IoError> show_cursor() = 0;
  // Waits up to `timeout` for an event; true when read() will return one without blocking.
  virtual std::expected<bool, IoError> poll(std::chrono::milliseconds timeout) = 0;
  // The next event, waiting for one if need be.
  virtual std::expected<Event, IoError> read() = 0;

 protected:
  Backend() = default;
  Backend(const Backend&) = default;
  Backend& operator=(const Backend&) = default;
};

}  // namespace sparvik::term
