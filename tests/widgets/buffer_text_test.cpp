// The golden-text helper must fail on any difference and point at it.
#include "support/buffer_text.hpp"

#include <gtest/gtest.h>

namespace sparvik::widgets {
namespace {

using test_support::buffer_from_lines;
using test_support::buffer_lines_equal;

TEST(BufferText, MatchingLinesPass) {
  const Buffer buf = buffer_from_lines({"┌─┐", "└─┘"});
  EXPECT_TRUE(buffer_lines_equal("buf", "expected", buf, {"┌─┐", "└─┘"}));
  EXPECT_BUFFER_LINES(buf, {"┌─┐", "└─┘"});
}

TEST(BufferText, DifferencesFailWithARowByRowReport) {
  const Buffer buf = buffer_from_lines({"abc", "def", "ghi"});
  const ::testing::AssertionResult r =
      buffer_lines_equal("buf", "expected", buf, {"abc", "dXf", "ghi"});
  ASSERT_FALSE(r);
  const std::string msg = r.message();
  EXPECT_NE(msg.find("! 1 expected |dXf|"), std::string::npos) << msg;
  EXPECT_NE(msg.find("! 1 actual   |def|"), std::string::npos) << msg;
  EXPECT_NE(msg.find("first difference at column 1"), std::string::npos) << msg;
  EXPECT_NE(msg.find("    0  |abc|"), std::string::npos) << msg;  // unchanged rows are shown too
}

TEST(BufferText, ShapeMismatchesFail) {
  const Buffer buf = buffer_from_lines({"ab", "cd"});
  EXPECT_FALSE(buffer_lines_equal("buf", "expected", buf, {"ab"}));
  EXPECT_FALSE(buffer_lines_equal("buf", "expected", buf, {"ab", "cd", "ef"}));
  EXPECT_FALSE(buffer_lines_equal("buf", "expected", buf, {"ab", "cd "}));
  const auto r = buffer_lines_equal("buf", "expected", buf, {"ab", "c"});
  ASSERT_FALSE(r);
  EXPECT_NE(std::string(r.message()).find("row widths 2 vs 1"), std::string::npos) << r.message();
}

TEST(BufferText, BufferFromLinesPadsShortRows) {
  const Buffer buf = buffer_from_lines({"a", "•••"});
  EXPECT_EQ(buf.area(), (Rect{0, 0, 3, 2}));
  EXPECT_EQ(buf.lines(), (std::vector<std::string>{"a  ", "•••"}));
}

TEST(BufferText, MaskMarksTheCellsMatchingThePredicate) {
  Buffer buf(Rect{0, 0, 4, 2});
  buf.set_style(Rect{1, 1, 2, 1}, fg(Color::Red));
  EXPECT_EQ(test_support::mask_lines(buf, [](const Cell& c) { return c.fg == Color::Red; }),
            (std::vector<std::string>{"....", ".##."}));
}

}  // namespace
}  // namespace sparvik::widgets
