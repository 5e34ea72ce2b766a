// The recording back end that the run loop's tests drive: event order, waiting, idle handling.
#include "platform/terminal/test_backend.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace sparvik::term {
namespace {

using namespace std::chrono_literals;

TEST(TestBackend, ServesEventsInTheOrderPushed) {
  TestBackend backend(4, 2);
  backend.push_key(KeyCode::Down);
  backend.push_char('j', Modifiers::Ctrl);
  backend.push_key(KeyCode::Enter, Modifiers::None, KeyEventKind::Release);
  backend.push_event(OtherEvent{});

  const std::vector<Event> expected = {
      KeyEvent::key(KeyCode::Down),
      KeyEvent::character('j', Modifiers::Ctrl),
      KeyEvent{KeyCode::Enter, 0, KeyEventKind::Release, Modifiers::None},
      OtherEvent{},
  };
  for (const Event& e : expected) {
    ASSERT_EQ(backend.poll(0ms), true);
    EXPECT_EQ(backend.read(), e);
  }
  EXPECT_EQ(backend.poll(0ms), false);
  EXPECT_FALSE(backend.read()) << "reading past the script must fail, not hang";
}

TEST(TestBackend, PollWakesWhenAnotherThreadPushes) {
  TestBackend backend(4, 2);
  std::thread pusher([&] { backend.push_char('q'); });
  // Long enough never to elapse on a sane machine; the push ends the wait.
  auto ready = backend.poll(60s);
  pusher.join();
  ASSERT_TRUE(ready);
  EXPECT_TRUE(*ready);
}

TEST(TestBackend, IdleHandlerRunsWhenTheQueueIsEmpty) {
  TestBackend backend(4, 2);
  int idle_calls = 0;
  backend.set_idle_handler([&](TestBackend& b) {
    if (++idle_calls == 3) b.push_char('q');
  });
  EXPECT_EQ(backend.poll(60s), false);
  EXPECT_EQ(backend.poll(60s), false);
  EXPECT_EQ(backend.poll(60s), true);
  EXPECT_EQ(backend.poll(60s), true) << "a queued event is served before idling again";
  EXPECT_EQ(idle_calls, 3);
}

TEST(TestBackend, ResizeChangesTheSizeBlanksTheScreenAndQueuesAnEvent) {
  TestBackend backend(4, 2);
  widgets::Cell x;
  x.symbol = "x";
  ASSERT_TRUE(backend.draw(std::vector<CellUpdate>{{1, 1, &x}}));
  EXPECT_EQ(backend.lines(), (std::vector<std::string>{"    ", " x  "}));

  backend.resize(3, 1);
  EXPECT_EQ(backend.size(), (widgets::Rect{0, 0, 3, 1}));
  EXPECT_EQ(backend.lines(), (std::vector<std::string>{"   "}));
  EXPECT_EQ(backend.read(), (Event(ResizeEvent{3, 1})));
}

TEST(TestBackend, CellsOutsideTheScreenAreRecordedButNotShown) {
  TestBackend backend(2, 1);
  widgets::Cell x;
  x.symbol = "x";
  ASSERT_TRUE(backend.draw(std::vector<CellUpdate>{{5, 0, &x}, {1, 0, &x}}));
  EXPECT_EQ(backend.last_draw().size(), 2u);
  EXPECT_EQ(backend.lines(), (std::vector<std::string>{" x"}));
}

}  // namespace
}  // namespace sparvik::term
