// The log line layout and the error's debug form.
#include <gtest/gtest.h>

#include <string_view>

#include "platform/log/log.hpp"

namespace sparvik::log {
namespace {

TEST(LogLine, LevelNameModulePathInBracketsThenMessageAndLineFeed) {
  const std::pair<Level, std::string_view> cases[] = {
      {Level::Error, "ERROR [sparvik::scan] Wrong alignement char\n"},
      {Level::Warn, "WARN [sparvik::scan] Wrong alignement char\n"},
      {Level::Info, "INFO [sparvik::scan] Wrong alignement char\n"},
      {Level::Debug, "DEBUG [sparvik::scan] Wrong alignement char\n"},
      {Level::Trace, "TRACE [sparvik::scan] Wrong alignement char\n"},
  };
  for (const auto& [level, expected] : cases) {
    EXPECT_EQ(format_line(level, "sparvik::scan", "Wrong alignement char"), expected);
  }
}

TEST(LogLine, MessageIsWrittenAsItIs) {
  EXPECT_EQ(format_line(Level::Info, "sparvik::ui", "First {\n    a: 1,\n}"),
            "INFO [sparvik::ui] First {\n    a: 1,\n}\n");
  EXPECT_EQ(format_line(Level::Info, "sparvik", ""), "INFO [sparvik] \n");
}

TEST(LogErrorForm, DebugQuotesTheMessage) {
  const LogError error{"cannot use \"x\"\n"};
  EXPECT_EQ(error.debug(), R"(LogError { message: "cannot use \"x\"\n" })");
  EXPECT_EQ(error.display(), "cannot use \"x\"\n");
}

}  // namespace
}  // namespace sparvik::log
