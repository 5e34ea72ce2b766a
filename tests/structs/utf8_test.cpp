// The UTF-8 check that guards reading the settings file.
#include "structs/utf8.hpp"

#include <gtest/gtest.h>

#include <string>

namespace sparvik {
namespace {

TEST(Utf8, ValidityAsTextDecodingDemands) {
  const struct {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"port = \"COM3\"", true},
      {"\xc3\xa9", true},           // é
      {"\xe2\x82\xac", true},       // €
      {"\xf0\x9f\x93\xa1", true},   // 4-byte
      {"\xf4\x8f\xbf\xbf", true},   // U+10FFFF
      {"\xed\x9f\xbf", true},       // U+D7FF, just below the surrogates
      {"\x80", false},              // lone continuation
      {"\xc0\xaf", false},          // overlong '/'
      {"\xc1\xbf", false},          // overlong
      {"\xe0\x80\xaf", false},      // overlong 3-byte
      {"\xf0\x80\x80\xaf", false},  // overlong 4-byte
      {"\xed\xa0\x80", false},      // surrogate U+D800
      {"\xf4\x90\x80\x80", false},  // past U+10FFFF
      {"\xf5\x80\x80\x80", false},
      {"\xe2\x82", false},      // truncated
      {"ok\xc3", false},        // truncated at the end
      {"\xe2\x28\xa1", false},  // bad continuation
      {"\xff", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
  }
}

}  // namespace
}  // namespace sparvik
