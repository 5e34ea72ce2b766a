// Symbols and colours as the curses back end puts them on the console.
#include "platform/terminal/cell_mapping.hpp"

#include <gtest/gtest.h>

#include <string>

namespace sparvik::term {
namespace {

struct SymbolCase {
  const char* name;
  std::string symbol;
  char32_t expected;
};

const SymbolCase symbol_cases[] = {
    {"ascii", "a", U'a'},
    {"empty_is_blank", "", U' '},
    {"box_corner", "┌", U'┌'},
    {"enter_arrow", "↲", U'↲'},
    {"dot", "•", U'•'},
    {"four_byte_character", "𝄞", U'𝄞'},
    {"first_character_only", "ab", U'a'},
    {"escape_is_blank", "\x1b", U' '},
    {"newline_is_blank", "\n", U' '},
    {"delete_is_blank", "\x7f", U' '},
    {"c1_control_is_blank", "\xc2\x9b", U' '},
    {"lone_continuation_byte", "\x80", U'\uFFFD'},
    {"truncated_sequence", "\xe2\x94", U'\uFFFD'},
    {"bad_continuation", "\xe2\x41\x41", U'\uFFFD'},
    {"overlong_slash", "\xc0\xaf", U'\uFFFD'},
    {"encoded_surrogate", "\xed\xa0\x80", U'\uFFFD'},
    {"beyond_unicode", "\xf4\x90\x80\x80", U'\uFFFD'},
    {"invalid_lead_byte", "\xff", U'\uFFFD'},
};

void PrintTo(const SymbolCase& c, std::ostream* os) {
  *os << c.name;
}

class CellCodePoint : public testing::TestWithParam<SymbolCase> {};

TEST_P(CellCodePoint, IsSafeToPrint) {
  EXPECT_EQ(static_cast<std::uint32_t>(cell_code_point(GetParam().symbol)),
            static_cast<std::uint32_t>(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Symbols, CellCodePoint, testing::ValuesIn(symbol_cases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ColorNumber, MapsNamedColoursOnSixteenColourTerminals) {
  using widgets::Color;
  const struct {
    Color color;
    ColorNumber expected;
  } table[] = {
      {Color::Reset, {-1, false}},   {Color::Black, {0, false}},  {Color::Red, {1, false}},
      {Color::Yellow, {3, false}},   {Color::Blue, {4, false}},   {Color::Gray, {7, false}},
      {Color::DarkGray, {8, false}}, {Color::White, {15, false}},
  };
  for (int colors : {16, 256}) {
    for (const auto& row : table) {
      EXPECT_EQ(color_number(row.color, colors), row.expected)
          << static_cast<int>(row.color) << " with " << colors << " colours";
    }
  }
}

TEST(ColorNumber, UsesBoldForBrightColoursOnEightColourTerminals) {
  using widgets::Color;
  EXPECT_EQ(color_number(Color::White, 8), (ColorNumber{7, true}));
  EXPECT_EQ(color_number(Color::DarkGray, 8), (ColorNumber{0, true}));
  EXPECT_EQ(color_number(Color::Gray, 8), (ColorNumber{7, false}));
  EXPECT_EQ(color_number(Color::Red, 8), (ColorNumber{1, false}));
}

TEST(ColorNumber, IsTheDefaultWithoutColourSupport) {
  for (auto color : {widgets::Color::Red, widgets::Color::White, widgets::Color::Reset}) {
    EXPECT_EQ(color_number(color, 0), (ColorNumber{-1, false}));
  }
}

}  // namespace
}  // namespace sparvik::term
