// The small platform value types the error enumerations carry: I/O errors, debug quoting and
// reports with their cause chain.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/io_error.hpp"
#include "platform/report.hpp"

namespace sparvik {
namespace {

TEST(DebugQuote, EscapesQuotesBackslashesAndControlCharacters) {
  const struct {
    std::string text;
    std::string quoted;
  } cases[] = {
      {"", R"("")"},
      {"COM3", R"("COM3")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"a\\b", R"("a\\b")"},
      {"l1\nl2\r\t", R"("l1\nl2\r\t")"},
      {std::string("nul\0end", 7), R"("nul\0end")"},
      {"\x1b[0m", R"("\u{1b}[0m")"},
      {"\x7f", R"("\u{7f}")"},
      {"c1 \xc2\x80 \xc2\x9b[0m \xc2\x9f", R"("c1 \u{80} \u{9b}[0m \u{9f}")"},
      {"nbsp \xc2\xa0, lone \xc2", "\"nbsp \xc2\xa0, lone \xc2\""},
      {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
  };
  for (const auto& c : cases) EXPECT_EQ(debug_quote(c.text), c.quoted) << c.quoted;
}

TEST(IoErrorForms, OsAndCustomErrors) {
  const auto missing = IoError::from_errno(ENOENT);
  EXPECT_EQ(missing.kind, IoErrorKind::NotFound);
  EXPECT_EQ(missing.code, ENOENT);
  EXPECT_EQ(missing.display(), "No such file or directory (os error 2)");
  EXPECT_EQ(missing.debug(),
            R"(Os { code: 2, kind: NotFound, message: "No such file or directory" })");

  const auto utf8 = IoError::custom(IoErrorKind::InvalidData, "stream did not contain valid UTF-8");
  EXPECT_EQ(utf8.display(), "stream did not contain valid UTF-8");
  EXPECT_EQ(utf8.debug(),
            R"(Custom { kind: InvalidData, error: "stream did not contain valid UTF-8" })");
}

TEST(IoErrorForms, ErrnoKinds) {
  const struct {
    int err;
    IoErrorKind kind;
  } cases[] = {
      {ENOENT, IoErrorKind::NotFound},        {EACCES, IoErrorKind::PermissionDenied},
      {EPERM, IoErrorKind::PermissionDenied}, {EINTR, IoErrorKind::Interrupted},
      {ETIMEDOUT, IoErrorKind::TimedOut},     {EPIPE, IoErrorKind::BrokenPipe},
      {EINVAL, IoErrorKind::InvalidInput},    {ENOSPC, IoErrorKind::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(IoError::from_errno(c.err).kind, c.kind) << c.err;
}

TEST(ReportForms, DisplayIsTheMessageDebugListsCausesAndLocation) {
  const Report report("run loop failed", {"terminal write failed", "Broken pipe (os error 32)"});
  EXPECT_EQ(report.display(), "run loop failed");
  EXPECT_EQ(report.debug(),
            "run loop failed\n\nCaused by:\n   0: terminal write failed\n   1: Broken pipe (os "
            "error 32)\n\nLocation:\n   " +
                report.location());
  EXPECT_NE(report.location().find("platform_values_test.cpp:"), std::string::npos);

  const Report bare("alone");
  EXPECT_EQ(bare.debug(), "alone\n\nLocation:\n   " + bare.location());
  EXPECT_FALSE(bare.wrapped().source());
}

TEST(ReportForms, WrappedErrorLeadsThroughEveryCause) {
  const Report report("top", {"middle", "bottom"});
  std::vector<std::string> displays;
  std::vector<std::string> debugs;
  for (std::optional<ErrorSource> link = ErrorSource(report.wrapped()); link;
       link = link->source()) {
    displays.push_back(link->display());
    debugs.push_back(link->debug());
  }
  EXPECT_EQ(displays, (std::vector<std::string>{"top", "middle", "bottom"}));
  EXPECT_EQ(debugs, (std::vector<std::string>{R"("top")", R"("middle")", R"("bottom")"}));
}

}  // namespace
}  // namespace sparvik
