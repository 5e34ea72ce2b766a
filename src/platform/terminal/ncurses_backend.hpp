// The console back end on standard input and output, through ncursesw: raw mode, the alternate
// screen, colours and UTF-8 symbols; key input decoded into events. One per process.
#pragma once

#include <array>
#include <chrono>
#include <expected>
#include <memory>
#include <optional>
#include <vector>

#include "platform/io_error.hpp"
#include "platform/terminal/backend.hpp"
#include "platform/terminal/key_decode.hpp"

namespace sparvik::term {

class NcursesBackend final : public Backend {
 public:
  // Puts the terminal's restore in front of the crash hooks, then switches to raw mode (no echo,
  // no signals from keys) on the alternate screen with the cursor hidden. Fails when standard
  // input or output is no terminal, the terminal type is unknown, or the terminal is in use.
  static std::expected<std::unique_ptr<NcursesBackend>, IoError> create();

  NcursesBackend(const NcursesBackend&) = delete;
  NcursesBackend& operator=(const NcursesBackend&) = delete;
  // Restores the terminal (see restore()).
  ~NcursesBackend() override;

  std::expected<widgets::Rect, IoError> size() override;
  std::expected<void, IoError> draw(std::span<const CellUpdate> cells) override;
  std::expected<void, IoError> clear() override;
  std::expected<void, IoError> flush() override;
  std::expected<void, IoError> hide_cursor() override;
  std::expected<void, IoError> show_cursor() override;
  // Blocks in poll(2) on standard input for up to `timeout`: an idle program costs nothing.
  std::expected<bool, IoError> poll(std::chrono::milliseconds timeout) override;
  std::expected<Event, IoError> read() override;

 private:
  NcursesBackend() = default;
  std::expected<void, IoError> set_up();
  short color_pair(short fg, short bg);
  // One key that ncurses has ready, without waiting.
  std::optional<Event> read_ready_key();

  std::vector<ModifiedKey> modified_keys_;
  std::optional<Event> pending_;
  // The window size curses last reported. It changes only while curses reads input or updates
  // the screen, so it is asked again only after that, not on every frame.
  std::optional<widgets::Rect> size_;
  // Whether the last read from curses gave a key, so that it may hold more already.
  bool curses_may_hold_input_ = true;
  int colors_ = 0;
  bool default_colors_ = false;
  // Colour pair per (fg + 1, bg + 1), allocated when first used; 0: not yet.
  std::array<std::array<short, 17>, 17> pairs_{};
  short next_pair_ = 1;
};

// Leaves full-screen mode: raw mode off, the alternate screen left, the cursor shown. Does
// nothing when the terminal is not set up, so it may run any number of times and on every way
// out. A failure is reported on standard error as "Failed to restore terminal: " and the error.
void restore() noexcept;

}  // namespace sparvik::term
