// A "scanraw" reply from the line to the points: collected as the worker collects it, then
// decoded, for each way the reply can end on the line.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "scan/error_payload.hpp"
#include "scan/scanraw_decoder.hpp"
#include "scan/scanraw_reader.hpp"
#include "scan/scripted_port.hpp"
#include "support/scanraw_records.hpp"
#include "support/temp_dir.hpp"

namespace sparvik::scan {
namespace {

using test_support::read_file;
using test_support::rec;
using test_support::TempDir;
using testing::bytes_of;
using testing::ScriptedPort;
using testing::text_of;

constexpr std::uint64_t MHz = 1'000'000;
constexpr std::uint64_t kPoints = 3;

constexpr std::string_view kCommand = "scanraw 100000000 200000000 3\r";
const std::string kEcho = "scanraw 100000000 200000000 3\r\n";
// What a "scan" that outlasted its wait still writes before the shell echoes the next line.
const std::string kLateScan =
    "100000000.000000 -90.000000\r\n150000000.000000 -91.000000\r\n"
    "200000000.000000 -92.000000\r\nch> ";
const std::string kRecords = test_support::recs({0, 3000, 4096});
const std::string kCsv = "100,-128\n150,-34.25\n200,0\n";
const std::string kTwoLines = "100,-128\n150,-34.25\n";

TEST(ScanrawReply, SucceedsOnAWholeSetOfRecordsWhateverItsEnding) {
  const struct {
    const char* name;
    std::vector<ScriptedPort::Read> script;  // past its end the line is silent
    std::string tail;                        // how the collected reply ends
    const char* error;                       // ParseEnd's text, or nullptr for success
    std::string csv;
  } cases[] = {
      // The analyser's own ending.
      {"prompt right after the brace, in one read",
       {bytes_of(kEcho + "{" + kRecords + "}ch> ")},
       "}",
       nullptr,
       kCsv},
      {"late scan reply and its prompt before the echo",
       {bytes_of(kLateScan + kEcho + "{" + kRecords + "}ch> ")},
       "}",
       nullptr,
       kCsv},
      {"late scan reply ending in a read of its own",
       {bytes_of(kLateScan), bytes_of(kEcho + "{" + kRecords), bytes_of("}ch> ")},
       "}",
       nullptr,
       kCsv},
      {"brace at the end of a read, prompt in the next",
       {bytes_of(kEcho + "{" + kRecords + "}"), bytes_of("ch> ")},
       "}",
       nullptr,
       kCsv},
      // Not recognised: the reply ends on the time-out with the prompt's bytes behind the data.
      {"prompt split between reads",
       {bytes_of(kEcho + "{" + kRecords + "}c"), bytes_of("h> ")},
       "}ch> ",
       nullptr,
       kCsv},
      {"line end before the prompt",
       {bytes_of(kEcho + "{" + kRecords + "}\r\nch> ")},
       "}\r\n",
       nullptr,
       kCsv},
      {"records and no brace",
       {bytes_of(kEcho + "{" + kRecords), bytes_of("ch> ")},
       rec(4096),
       nullptr,
       kCsv},
      // A measurement interrupted on the analyser: "}" early, and no prompt.
      {"fewer records, brace and no prompt",
       {bytes_of(kEcho + "{" + rec(0) + rec(3000) + "}")},
       "}",
       "expected 3 points, received 2",
       kTwoLines},
      {"silence in the middle of a record",
       {bytes_of(kEcho + "{" + rec(0) + rec(3000) + "x\x10")},
       "x\x10",
       "expected 3 points, received 2",
       kTwoLines},
      {"hang-up in the middle of a record",
       {bytes_of(kEcho + "{" + rec(0) + rec(3000) + "x"), IoError::from_errno(EIO),
        bytes_of("\x10\x00}ch> ")},
       rec(3000) + "x",
       "expected 3 points, received 2",
       kTwoLines},
      {"more records than asked",
       {bytes_of(kEcho + "{" + kRecords + rec(0) + "}ch> ")},
       "}",
       "expected 3 points, received 4",
       kCsv + "250,-128\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPort port(c.script);
    const SharedCell<std::uint64_t> progress(22);
    const auto reply = read_scanraw(port, {kCommand, 3 * kPoints + 6}, progress);
    const std::string collected(reply.begin(), reply.end());
    EXPECT_TRUE(collected.starts_with(kEcho)) << collected.substr(0, 40);
    EXPECT_TRUE(collected.ends_with(c.tail));
    TempDir dir("sparvik-scan");
    const auto decoded = decode_scanraw(reply, 100 * MHz, 200 * MHz, kPoints, dir.path().string());
    if (c.error == nullptr) {
      ASSERT_TRUE(decoded.has_value()) << decoded.error().debug();
      EXPECT_EQ(decoded->first.size(), kPoints);
      EXPECT_EQ(read_file(dir.path() / decoded->second), c.csv);
    } else {
      ASSERT_FALSE(decoded.has_value());
      EXPECT_EQ(decoded.error().kind(), SparvikError::Kind::ParseEnd);
      EXPECT_EQ(text_of(decoded.error()), c.error);
      const auto files = dir.file_names();
      ASSERT_EQ(files.size(), 1u);
      EXPECT_EQ(read_file(dir.path() / files[0]), c.csv);
    }
  }
}

}  // namespace
}  // namespace sparvik::scan
