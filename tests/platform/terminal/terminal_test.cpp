// The Terminal's frame diff over the recording back end: what reaches the console, and when
// nothing does.
#include "platform/terminal/terminal.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/terminal/test_backend.hpp"

namespace sparvik::term {
namespace {

using widgets::Buffer;
using widgets::Color;
using widgets::Frame;
using widgets::Style;

using Render = std::function<void(Frame&)>;

Render text_at(std::uint16_t x, std::uint16_t y, std::string text, Style style = {}) {
  return [=](Frame& f) { f.buffer().set_string(x, y, text, style); };
}

std::vector<std::string> positions(const std::vector<TestBackend::WrittenCell>& cells) {
  std::vector<std::string> out;
  for (const auto& c : cells) out.push_back(std::to_string(c.x) + "," + std::to_string(c.y));
  return out;
}

class TerminalTest : public testing::Test {
 protected:
  Terminal make_terminal() {
    auto terminal = Terminal::create(backend);
    EXPECT_TRUE(terminal.has_value());
    return std::move(*terminal);
  }
  TestBackend backend{6, 3};
};

TEST_F(TerminalTest, FirstDrawWritesEveryCellAndHidesTheCursor) {
  Terminal terminal = make_terminal();
  ASSERT_TRUE(terminal.draw(text_at(1, 1, "hi")));
  EXPECT_EQ(backend.cells_written(), 6u * 3u);
  EXPECT_EQ(backend.flush_calls(), 1u);
  EXPECT_TRUE(backend.cursor_hidden());
  EXPECT_EQ(backend.lines(), (std::vector<std::string>{"      ", " hi   ", "      "}));
}

TEST_F(TerminalTest, IdenticalFrameWritesNothingAndDoesNotFlush) {
  Terminal terminal = make_terminal();
  ASSERT_TRUE(terminal.draw(text_at(0, 0, "abc")));
  const auto draws = backend.draw_calls();
  const auto flushes = backend.flush_calls();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(terminal.draw(text_at(0, 0, "abc")));
  EXPECT_EQ(backend.draw_calls(), draws);
  EXPECT_EQ(backend.flush_calls(), flushes);
}

struct ChangeCase {
  const char* name;
  Render before;
  Render after;
  std::vector<std::string> written;  // "x,y" of each cell the second frame writes
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
  *os << c.name;
}

class TerminalChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(TerminalChange, WritesOnlyTheCellsThatDiffer) {
  const ChangeCase& c = GetParam();
  TestBackend backend(6, 3);
  auto terminal = Terminal::create(backend);
  ASSERT_TRUE(terminal);
  ASSERT_TRUE(terminal->draw(c.before));
  ASSERT_TRUE(terminal->draw(c.after));

  EXPECT_EQ(positions(backend.last_draw()), c.written);
  // The console ends up showing exactly the second frame.
  Buffer expected(backend.screen().area());
  Frame frame(expected);
  c.after(frame);
  EXPECT_EQ(backend.lines(), expected.lines());
  for (const auto& cell : backend.last_draw()) EXPECT_EQ(cell.cell, expected.at(cell.x, cell.y));
}

const ChangeCase change_cases[] = {
    {"one_symbol", text_at(0, 0, "abc"), text_at(0, 0, "abX"), {"2,0"}},
    {"symbol_erased", text_at(0, 0, "abc"), text_at(0, 0, "ab"), {"2,0"}},
    {"colour_only", text_at(3, 2, "x"), text_at(3, 2, "x", widgets::fg(Color::Red)), {"3,2"}},
    {"modifier_only",
     text_at(0, 1, "x"),
     text_at(0, 1, "x", Style{}.modifier(widgets::Modifier::Italic)),
     {"0,1"}},
    {"moved_text", text_at(0, 0, "abab"), text_at(2, 0, "ab"), {"0,0", "1,0"}},
    {"bottom_right_corner", text_at(0, 0, ""), text_at(5, 2, "z"), {"5,2"}},
};

INSTANTIATE_TEST_SUITE_P(Frames, TerminalChange, testing::ValuesIn(change_cases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(TerminalTest, ResizeClearsAndRepaintsTheWholeNewArea) {
  Terminal terminal = make_terminal();
  ASSERT_TRUE(terminal.draw(text_at(0, 0, "abc")));
  backend.resize(8, 4);
  const auto before = backend.cells_written();

  std::optional<widgets::Rect> seen;
  ASSERT_TRUE(terminal.draw([&](Frame& f) {
    seen = f.area();
    f.buffer().set_string(0, 0, "abc", {});
  }));

  EXPECT_EQ(seen, (widgets::Rect{0, 0, 8, 4}));
  EXPECT_EQ(terminal.area(), (widgets::Rect{0, 0, 8, 4}));
  EXPECT_EQ(backend.clear_calls(), 1u);
  EXPECT_EQ(backend.cells_written() - before, 8u * 4u);
  EXPECT_EQ(backend.lines()[0], "abc     ");
}

TEST_F(TerminalTest, EachFrameStartsBlank) {
  Terminal terminal = make_terminal();
  ASSERT_TRUE(terminal.draw(text_at(0, 0, "abc")));
  std::string first_row;
  ASSERT_TRUE(terminal.draw([&](Frame& f) { first_row = f.buffer().lines()[0]; }));
  EXPECT_EQ(first_row, "      ");
  EXPECT_EQ(terminal.last_frame().lines()[0], "      ");
}

TEST_F(TerminalTest, SizeFailureIsReturnedBeforeDrawing) {
  Terminal terminal = make_terminal();
  backend.failures.size = IoError::from_errno(EIO);
  bool rendered = false;
  auto result = terminal.draw([&](Frame&) { rendered = true; });
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, EIO);
  EXPECT_FALSE(rendered);
}

TEST_F(TerminalTest, FailedWriteIsReturnedAndTheNextFrameRepaintsEverything) {
  Terminal terminal = make_terminal();
  ASSERT_TRUE(terminal.draw(text_at(0, 0, "abc")));

  const struct {
    std::optional<IoError> TestBackend::Failures::*operation;
    const char* text;
  } failing[] = {{&TestBackend::Failures::draw, "xyz"}, {&TestBackend::Failures::flush, "uvw"}};
  for (const auto& f : failing) {
    backend.failures.*f.operation = IoError::from_errno(EPIPE);
    auto failed = terminal.draw(text_at(0, 0, f.text));
    ASSERT_FALSE(failed) << f.text;
    EXPECT_EQ(failed.error().code, EPIPE);
    backend.failures.*f.operation = std::nullopt;

    const auto before = backend.cells_written();
    ASSERT_TRUE(terminal.draw(text_at(0, 0, f.text)));
    EXPECT_EQ(backend.cells_written() - before, 6u * 3u) << f.text;
    EXPECT_EQ(backend.lines()[0], std::string(f.text) + "   ");
  }
}

TEST_F(TerminalTest, ReleaseShowsTheCursorOnlyIfItWasHidden) {
  { Terminal never_drawn = make_terminal(); }
  EXPECT_EQ(backend.show_cursor_calls(), 0u);
  {
    Terminal terminal = make_terminal();
    ASSERT_TRUE(terminal.draw(text_at(0, 0, "a")));
    Terminal moved = std::move(terminal);  // only the last owner shows the cursor
  }
  EXPECT_EQ(backend.show_cursor_calls(), 1u);
  EXPECT_FALSE(backend.cursor_hidden());
}

TEST_F(TerminalTest, FailureToShowTheCursorIsReportedOnStandardError) {
  {
    Terminal terminal = make_terminal();
    ASSERT_TRUE(terminal.draw(text_at(0, 0, "a")));
    backend.failures.show_cursor = IoError::custom(IoErrorKind::Other, "no cursor here");
    testing::internal::CaptureStderr();
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to show the cursor: no cursor here\n");
}

TEST_F(TerminalTest, PollAndReadComeFromTheBackend) {
  Terminal terminal = make_terminal();
  backend.push_char('q');
  auto ready = terminal.poll(std::chrono::milliseconds(16));
  ASSERT_TRUE(ready);
  EXPECT_TRUE(*ready);
  auto event = terminal.read();
  ASSERT_TRUE(event);
  EXPECT_EQ(*event, Event(KeyEvent::character('q')));

  backend.failures.poll = IoError::from_errno(EIO);
  EXPECT_FALSE(terminal.poll(std::chrono::milliseconds(16)));
}

}  // namespace
}  // namespace sparvik::term
