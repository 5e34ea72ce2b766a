// The look taken at TOML text before it is parsed: deep nesting and the code points that drive the
// parser's whitespace test into undefined behaviour, where it makes that test, are refused; flat
// text whose strings and comments hold dots, brackets and any characters is not.
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

// A multi-line basic string whose first line ends in a backslash, continued by `rest`.
std::string continued(std::string_view rest) {
  return cat(R"("""a\)", "\n", rest, R"(""")");
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
      // After a line-ending backslash the parser tests only the first character it does not skip:
      // U+20AC (then U+00E9); each code point just outside a refused range; after U+3000, U+FEFF
      // and U+00A0, which it skips, plain text.
      settings + cat("note = ", continued("   \xe2\x82\xac\xc3\xa9"), "\n"),
      settings + cat("edges = [", continued("\xc2\x80"), ", ", continued("\xd2\x9a"), ", ",
                     continued("\xe2\xb1\x9d"), ", ", continued("\xe3\x81\x98"), ", ",
                     continued("\xef\xac\xa5"), ", ", continued("\xf0\x90\x80\x80"), "]\n"),
      settings + cat("skipped = ", continued(" \xe3\x80\x80\xef\xbb\xbf\xc2\xa0x"), "\n"),
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
      {"inline tables", cat("x = ", repeated("{ a = ", too_deep), "1", repeated(" }", too_deep))},
      {"arrays", cat("x = ", repeated("[", too_deep), repeated("]", too_deep))},
      {"arrays over lines", cat("x = [\n", repeated("[\n", too_deep), repeated("]\n", too_deep))},
      {"dotted keys inside inline tables", cat("x = { ", dotted_key(too_deep / 2 + 1), " = { ",
                                               dotted_key(too_deep / 2 + 1), " = 1 } }")},
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

// The parser asks of these code points whether they are whitespace, a test that is undefined for
// U+00A1-U+0499, U+2C5E-U+3057 but U+3000, and U+FB26-U+FEFE; U+0085, U+2028 and U+2029 fail an
// assertion where an array expects a value.
TEST(TomlPrescan, CodePointsThatDriveTheParserIntoUndefinedBehaviourAreRefused) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"in a date",
       "d = 2024-01-01T0\xd0\xbd"
       "00:00Z\n"},
      {"bare key", "k\xc3\xa9y = 1\n"},
      {"U+0499 after a value", "x = 1\xd2\x99\n"},
      {"after a line-ending backslash", "x = \"\"\"\\\n   \xc3\xa9\"\"\"\n"},
      {"U+2E80 after a line-ending backslash", cat("x = ", continued("  \xe2\xba\x80"), "\n")},
      {"U+3042 after what the parser skips",
       cat("x = ", continued("\xe3\x80\x80\xef\xbb\xbf\xe3\x81\x82"), "\n")},
      {"after a backslash, multi-line", "x = \"\"\"\\\xc3\xa9\"\"\"\n"},
      {"U+FB26 after a backslash and spaces", "x = \"\"\"\\  \xef\xac\xa6\n\"\"\"\n"},
      {"in a quote glued to a value", "x = 1\"\"\"\xef\xbb\xb6\"\"\"\n"},
      {"in a quote glued to a key", "k'\xc3\xa9' = 1\n"},
      {"in a quote inside a bare value", "x = 5x0p[\"\xef\xba\xbf\"\n"},
      {"U+2028 where an array expects a value", "x = [1, \xe2\x80\xa8]\n"},
      {"U+0085 where an array expects a value", "x = [1, \xc2\x85]\n"},
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

// Other non-ASCII text where TOML allows none goes to the parser, which rejects it safely. The
// first two were refused while every non-ASCII character outside strings and after a backslash
// was.
TEST(TomlPrescan, OtherNonAsciiTextIsLeftToTheParser) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"U+00A0 after a value", "x = 1\xc2\xa0\n"},
      {"after a backslash", "x = \"\\\xc3\xa9\"\n"},
      {"U+20AC after a backslash, multi-line", "x = \"\"\"\\\xe2\x82\xac\"\"\"\n"},
      {"U+3000 after a value", "x = 1\xe3\x80\x80\n"},
      {"U+20AC in a bare key", "k\xe2\x82\xacy = 1\n"},
  };
  for (const auto& c : cases) {
    const std::string text = settings + c.text;
    EXPECT_FALSE(prescan_toml(text)) << c.name;
    const auto config = from_toml(text);
    ASSERT_FALSE(config) << c.name;
    EXPECT_EQ(config.error().message.find("refused"), std::string::npos)
        << c.name << ": " << config.error().message;
    EXPECT_NE(config.error().message.find("at line 7,"), std::string::npos)
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
