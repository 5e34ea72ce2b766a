// Filter text parsing and admission.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string_view>

#include "platform/log/log.hpp"

namespace sparvik::log {
namespace {

struct AdmitCase {
  std::string_view text;
  Level level;
  std::string_view target;
  bool admitted;
};

TEST(Filter, AdmitsByDefaultLevelAndLongestMatchingPrefix) {
  const AdmitCase cases[] = {
      {"info", Level::Info, "any", true},
      {"info", Level::Warn, "any", true},
      {"info", Level::Debug, "any", false},
      {"TRACE", Level::Trace, "x", true},
      {"Warn", Level::Info, "x", false},
      {"", Level::Error, "x", true},  // no bare level: error only
      {"", Level::Warn, "x", false},
      {"off", Level::Error, "x", false},
      {"error, trace", Level::Trace, "x", true},  // the last bare level counts
      {"info,,", Level::Info, "x", true},
      {"  warn ,  x = trace  ", Level::Trace, "x", true},
      {"  warn ,  x = trace  ", Level::Info, "y", false},
      {"debug, a::b=off", Level::Error, "a::b::c", false},
      {"debug, a::b=off", Level::Error, "a::bc", false},  // a plain text prefix
      {"debug, a::b=off", Level::Debug, "a::", true},
      {"debug, a::b=off", Level::Debug, "b::a::b", true},
      {"a=trace, a::b=error", Level::Debug, "a::b::c", false},
      {"a::b=error, a=trace", Level::Debug, "a::b", false},
      {"a=trace, a::b=error", Level::Debug, "a::x", true},
      {"x=error, x=trace", Level::Trace, "x", true},  // a repeated target replaces
      {"off, x=warn", Level::Warn, "x::y", true},
      {"off, x=warn", Level::Error, "y", false},
  };
  for (const AdmitCase& c : cases) {
    const auto filter = Filter::parse(c.text);
    ASSERT_TRUE(filter.has_value()) << c.text;
    EXPECT_EQ(filter->admits(c.level, c.target), c.admitted)
        << '"' << c.text << "\" " << level_name(c.level) << " " << c.target;
  }
}

TEST(Filter, RejectsMalformedText) {
  for (std::string_view text : {"verbose", "info, =debug", "x=loud", "x=", "a b=info",
                                "x=info=debug", "in fo", "info; x=debug", "warning"}) {
    const auto filter = Filter::parse(text);
    ASSERT_FALSE(filter.has_value()) << text;
    EXPECT_NE(filter.error().message.find(text), std::string::npos) << filter.error().message;
  }
}

TEST(Filter, MaxLevelIsTheHighestOfAllParts) {
  const std::pair<std::string_view, std::optional<Level>> cases[] = {
      {"info", Level::Info},        {"info, my::critical::module=trace", Level::Trace},
      {"", Level::Error},           {"off", std::nullopt},
      {"off, a=warn", Level::Warn}, {"trace, a=off", Level::Trace},
  };
  for (const auto& [text, expected] : cases) {
    const auto filter = Filter::parse(text);
    ASSERT_TRUE(filter.has_value()) << text;
    EXPECT_EQ(filter->max_level(), expected) << text;
  }
}

TEST(Filter, ProgramFilterPassesInfoAndAboveForEveryProgramTarget) {
  const auto filter = Filter::parse("info, my::critical::module=trace");
  ASSERT_TRUE(filter.has_value());
  for (std::string_view target :
       {"sparvik::structs", "sparvik::scan", "sparvik::ui", "scan", "info"}) {
    for (Level level : {Level::Error, Level::Warn, Level::Info, Level::Debug, Level::Trace}) {
      EXPECT_EQ(filter->admits(level, target), level <= Level::Info)
          << target << " " << level_name(level);
    }
  }
  EXPECT_TRUE(filter->admits(Level::Trace, "my::critical::module::inner"));
}

}  // namespace
}  // namespace sparvik::log
