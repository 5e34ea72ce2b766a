// The look taken at TOML text before it is parsed: deep nesting and non-ASCII characters where
// the parser tests for whitespace are refused; flat text whose strings and comments hold dots,
// brackets and any characters is not.
#include "structs/toml_prescan.hpp"

#include <gtest/gtest.h>

#include <string>

#include "structs/saved_config.hpp"

namespace sparvik {
namespace {

std::string repeated(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// Appends in place: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + std::string.
template <class... Parts>
std::string cat(const Parts&... parts) {
  std::string out;
  (out += ... += parts);
  return out;
}

// A dotted key of `parts` parts.
std::string dotted_key(std::size_t parts) {
  std::string key = "a";
  key += repeated(".a", parts - 1);
  return key;
}

const std::string settings =
    "port = \"COM3\"\nbaudrate = 115200\nstart_frequency = 240\nstop_frequency = 960\n"
    "points = 10001\nrepeat = 1\n";

TEST(TomlPrescan, FlatTextWithAnythingInStringsAndCommentsPasses) {
  const std::string cases[] = {
      settings,
      "port = \"" + repeated("a.[{", 200) + "\"\n" + settings.substr(settings.find('\n') + 1),
      settings + "note = '" + repeated(".[{", 200) + "'\n",
      settings + "# " + repeated("a.b[{", 200) + "\n",
      settings + "text = \"\"\"\n" + repeated("x.y.z [ { \\\"\"\" \n", 50) + "\"\"\"\n",
      settings + "raw = '''" + repeated("'.'.[", 50) + "''''\n",
      settings + "floats = [" + repeated("1.5, ", 200) + "2.5]\n",
      settings + "times = [" + repeated("1979-05-27T07:32:00.999Z, ", 50) + "0]\n",
      settings + "\"quoted.key.with.dots\" = 1\n",
      settings + "# caf\xc3\xa9 \xc2\xa0 \xe3\x80\x80\n\"k\xc3\xa9y\" = 'm\xc3\xa9'\n",
      settings + "ml = \"\"\"\n\xc3\xa9 \\\n  x\xc3\xa9\\n\\\\\xc3\xa9\"\"\"\n",
      settings + "[t.t.t]\n" + dotted_key(3) + " = { b.c = [[1.5], [2.5]] }\n",
  };
  for (const auto& text : cases) {
    EXPECT_FALSE(prescan_toml(text)) << text.substr(0, 200);
    // The parser agrees that these are well-formed.
    EXPECT_TRUE(from_toml(text)) << text.substr(0, 200) << "\n" << from_toml(text).error().message;
  }
}

TEST(TomlPrescan, DeepTextIsRefusedWithItsLine) {
  const std::size_t too_deep = max_toml_nesting + 1;
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"dotted key", cat(dotted_key(too_deep + 1), " = 1\n")},
      {"table header", cat("[", dotted_key(too_deep + 1), "]\n")},
      {"array of tables header", cat("[[", dotted_key(too_deep + 1), "]]\n")},
      {"header and key together",
       cat("[", dotted_key(too_deep / 2 + 1), "]\n", dotted_key(too_deep / 2 + 1), " = 1\n")},
      {"quoted parts still count", cat(repeated("\"a\".", too_deep), "\"a\" = 1\n")},
      {"inline tables",
       cat("x = ", repeated("{ a = ", too_deep), "1", repeated(" }", too_deep))},
      {"arrays", cat("x = ", repeated("[", too_deep), repeated("]", too_deep))},
      {"arrays over lines", cat("x = [\n", repeated("[\n", too_deep), repeated("]\n", too_deep))},
      {"dotted keys inside inline tables",
       cat("x = { ", dotted_key(too_deep / 2 + 1), " = { ", dotted_key(too_deep / 2 + 1),
           " = 1 } }")},
  };
  for (const auto& c : cases) {
    const std::string text = settings + c.text;
    const auto deep = prescan_toml(text);
    ASSERT_TRUE(deep) << c.name;
    EXPECT_GE(deep->line, 7u) << c.name;
    const auto config = from_toml(text);
    ASSERT_FALSE(config) << c.name;
    EXPECT_NE(config.error().message.find("nested too deep"), std::string::npos)
        << c.name << ": " << config.error().message;
  }
}

// The parser asks of these characters whether they are whitespace, a test that is undefined for
// many code points in the library.
TEST(TomlPrescan, NonAsciiWhereTheParserTestsForWhitespaceIsRefused) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"in a date",
       "d = 2024-01-01T0\xd0\xbd"
       "00:00Z\n"},
      {"bare key", "k\xc3\xa9y = 1\n"},
      {"after a value", "x = 1\xc2\xa0\n"},
      {"after a line-ending backslash", "x = \"\"\"\\\n   \xc3\xa9\"\"\"\n"},
      {"after a backslash, multi-line", "x = \"\"\"\\\xc3\xa9\"\"\"\n"},
      {"after a backslash", "x = \"\\\xc3\xa9\"\n"},
      {"in a quote glued to a value", "x = 1\"\"\"\xef\xbb\xb6\"\"\"\n"},
      {"in a quote glued to a key", "k'\xc3\xa9' = 1\n"},
      {"in a quote inside a bare value", "x = 5x0p[\"\xef\xba\xbf\"\n"},
  };
  for (const auto& c : cases) {
    const std::string text = settings + c.text;
    const auto refusal = prescan_toml(text);
    ASSERT_TRUE(refusal) << c.name;
    EXPECT_EQ(refusal->line, 7u) << c.name;
    const auto config = from_toml(text);
    ASSERT_FALSE(config) << c.name;
    EXPECT_NE(config.error().message.find("non-ASCII"), std::string::npos)
        << c.name << ": " << config.error().message;
  }
}

TEST(TomlPrescan, NestingLimitIsExact) {
  const std::string at_limit = dotted_key(max_toml_nesting + 1) + " = 1\n";
  EXPECT_FALSE(prescan_toml(at_limit));
  EXPECT_TRUE(prescan_toml(dotted_key(max_toml_nesting + 2) + " = 1\n"));
  const std::string brackets =
      "x = " + repeated("[", max_toml_nesting) + repeated("]", max_toml_nesting) + "\n";
  EXPECT_FALSE(prescan_toml(brackets));
  EXPECT_TRUE(prescan_toml("x = [" + brackets.substr(4) + "]\n"));
}

}  // namespace
}  // namespace sparvik
