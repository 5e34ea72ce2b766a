// The nesting bound taken before TOML text is parsed: deep text is refused, flat text whose
// strings and comments hold dots and brackets is not.
#include "structs/toml_nesting.hpp"

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

// A dotted key of `parts` parts.
std::string dotted_key(std::size_t parts) {
  return "a" + repeated(".a", parts - 1);
}

const std::string settings =
    "port = \"COM3\"\nbaudrate = 115200\nstart_frequency = 240\nstop_frequency = 960\n"
    "points = 10001\nrepeat = 1\n";

TEST(TomlNesting, FlatTextWithDotsAndBracketsInStringsAndCommentsPasses) {
  const std::string cases[] = {
      settings,
      "port = \"" + repeated("a.[{", 200) + "\"\n" + settings.substr(settings.find('\n') + 1),
      settings + "note = '" + repeated(".[{", 200) + "'\n",
      settings + "# " + repeated("a.b[{", 200) + "\n",
      settings + "text = \"\"\"\n" + repeated("x.y.z [ { \\\"\"\" \n", 50) + "\"\"\"\n",
      settings + "raw = '''" + repeated("'.'.[", 50) + "''''\n",
      settings + "floats = [" + repeated("1.5, ", 200) + "2.5]\n",
      settings + "times = [" + repeated("1979-05-27T07:32:00.999Z, ", 50) + "0]\n",
      settings + repeated("\"quoted.key.with.dots\" = 1\n", 1),
      settings + "[t.t.t]\n" + dotted_key(3) + " = { b.c = [[1.5], [2.5]] }\n",
  };
  for (const auto& text : cases) {
    EXPECT_FALSE(find_deep_nesting(text)) << text.substr(0, 200);
    // The parser agrees that these are well-formed.
    EXPECT_TRUE(from_toml(text)) << text.substr(0, 200) << "\n" << from_toml(text).error().message;
  }
}

TEST(TomlNesting, DeepTextIsRefusedWithItsLine) {
  const std::size_t too_deep = max_toml_nesting + 1;
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"dotted key", dotted_key(too_deep + 1) + " = 1\n"},
      {"table header", "[" + dotted_key(too_deep + 1) + "]\n"},
      {"array of tables header", "[[" + dotted_key(too_deep + 1) + "]]\n"},
      {"header and key together",
       "[" + dotted_key(too_deep / 2 + 1) + "]\n" + dotted_key(too_deep / 2 + 1) + " = 1\n"},
      {"quoted parts still count", repeated("\"a\".", too_deep) + "\"a\" = 1\n"},
      {"inline tables", "x = " + repeated("{ a = ", too_deep) + "1" + repeated(" }", too_deep)},
      {"arrays", "x = " + repeated("[", too_deep) + repeated("]", too_deep)},
      {"arrays over lines", "x = [\n" + repeated("[\n", too_deep) + repeated("]\n", too_deep)},
      {"dotted keys inside inline tables", "x = { " + dotted_key(too_deep / 2 + 1) + " = { " +
                                               dotted_key(too_deep / 2 + 1) + " = 1 } }"},
  };
  for (const auto& c : cases) {
    const std::string text = settings + c.text;
    const auto deep = find_deep_nesting(text);
    ASSERT_TRUE(deep) << c.name;
    EXPECT_GE(deep->line, 7u) << c.name;
    const auto config = from_toml(text);
    ASSERT_FALSE(config) << c.name;
    EXPECT_NE(config.error().message.find("nested deeper than"), std::string::npos)
        << c.name << ": " << config.error().message;
  }
}

TEST(TomlNesting, LimitIsExact) {
  const std::string at_limit = dotted_key(max_toml_nesting + 1) + " = 1\n";
  EXPECT_FALSE(find_deep_nesting(at_limit));
  EXPECT_TRUE(find_deep_nesting(dotted_key(max_toml_nesting + 2) + " = 1\n"));
  const std::string brackets =
      "x = " + repeated("[", max_toml_nesting) + repeated("]", max_toml_nesting) + "\n";
  EXPECT_FALSE(find_deep_nesting(brackets));
  EXPECT_TRUE(find_deep_nesting("x = [" + brackets.substr(4) + "]\n"));
}

}  // namespace
}  // namespace sparvik
