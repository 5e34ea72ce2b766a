// What a screen draws into on one pass: the whole area of the terminal and its buffer.
#pragma once

#include "widgets/core/buffer.hpp"

namespace sparvik::widgets {

class Frame {
 public:
  explicit Frame(Buffer& buffer) : buffer_(buffer) {}
  Rect area() const { return buffer_.area(); }
  Buffer& buffer() { return buffer_; }

  template <class Widget>
  void render_widget(const Widget& widget, Rect area) {
    widget.render(area, buffer_);
  }
  template <class Widget, class State>
  void render_stateful_widget(const Widget& widget, Rect area, State& state) {
    widget.render(area, buffer_, state);
  }

 private:
  Buffer& buffer_;
};

}  // namespace sparvik::widgets
