// Decoding "scanraw" replies into points and CSV lines, the errors and what each leaves on disc,
// and the diagnostic records with their byte windows.
#include "scan/scanraw_decoder.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/io/create_exclusive.hpp"
#include "platform/log/log.hpp"
#include "scan/csv_file_name.hpp"
#include "scan/error_payload.hpp"
#include "scan/number_format.hpp"
#include "support/file_size_limit.hpp"
#include "support/scanraw_records.hpp"
#include "support/temp_dir.hpp"

namespace sparvik::scan {
namespace {

using log::Level;
using log::testing::CapturedRecord;
using test_support::FileSizeLimit;
using test_support::read_file;
using test_support::rec;
using test_support::recs;
using test_support::TempDir;
using testing::os_code_of;
using testing::text_of;

// The number as the CSV file writes it.
std::string number_text(double value) {
  char buffer[kMaxNumberChars];
  return std::string(buffer, write_number(buffer, buffer + sizeof buffer, value));
}

constexpr std::uint64_t MHz = 1'000'000;

const std::string kEnd("}\0\0", 3);

std::vector<std::uint8_t> bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

struct Decoded {
  std::expected<std::pair<SweepPoints, std::string>, SparvikError> result;
  std::vector<std::string> files;
  std::string csv;  // the one file's content, when there is exactly one
};

Decoded decode(const TempDir& dir, const std::string& reply, std::uint64_t start,
               std::uint64_t stop, std::uint64_t points) {
  Decoded d{
      decode_scanraw(bytes(reply), start, stop, points, dir.path().string()), dir.file_names(), {}};
  if (d.files.size() == 1) d.csv = read_file(dir.path() / d.files[0]);
  return d;
}

std::vector<std::string> lines_of(const std::string& csv) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t nl; (nl = csv.find('\n', from)) != std::string::npos; from = nl + 1) {
    lines.push_back(csv.substr(from, nl - from));
  }
  EXPECT_EQ(from, csv.size()) << "the last line has no line feed";
  return lines;
}

TEST(DecodeScanraw, TurnsRecordsIntoCsvLines) {
  const std::string echo = "scanraw 100000000 200000000 3\r\n";
  const struct {
    const char* name;
    std::string reply;
    std::uint64_t start, stop, points;
    std::string csv;
  } cases[] = {
      // As the analyser sends it: its prompt follows the "}" at once, so no end group is whole.
      {"levels 0, 3000 and 4096", echo + "{" + recs({0, 3000, 4096}) + "}", 100 * MHz, 200 * MHz, 3,
       "100,-128\n150,-34.25\n200,0\n"},
      {"a whole end group", "{" + recs({0, 3000, 4096}) + kEnd, 100 * MHz, 200 * MHz, 3,
       "100,-128\n150,-34.25\n200,0\n"},
      {"no end marker at all", "{" + recs({0, 3000, 4096}), 100 * MHz, 200 * MHz, 3,
       "100,-128\n150,-34.25\n200,0\n"},
      // An end marker short of two bytes, or a last group of one or two bytes, is no group.
      {"end marker and one byte", "{" + recs({4096, 4096, 4096}) + "}\x01", 100 * MHz, 200 * MHz, 3,
       "100,0\n150,0\n200,0\n"},
      {"trailing partial group", "{" + recs({4000, 4000}) + "x\x10", 100 * MHz, 200 * MHz, 2,
       "100,-3\n200,-3\n"},
      {"thirds of a MHz", "{" + recs({4096, 4096, 4096, 4096}) + kEnd, 1 * MHz, 2 * MHz, 4,
       "1,0\n1.3333333333333333,0\n1.6666666666666665,0\n2,0\n"},
      {"level range ends", "{" + recs({65535, 1}) + kEnd, 100 * MHz, 200 * MHz, 2,
       "100,1919.96875\n200,-127.96875\n"},
      {"bytes after the end group ignored", "{" + recs({0, 0}) + kEnd + "x\x10\x00junk", 100 * MHz,
       200 * MHz, 2, "100,-128\n200,-128\n"},
      {"start equal to stop", "{" + recs({0, 0}) + kEnd, 100 * MHz, 100 * MHz, 2,
       "100,-128\n100,-128\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir("sparvik-scan");
    const Decoded d = decode(dir, c.reply, c.start, c.stop, c.points);
    ASSERT_TRUE(d.result.has_value()) << d.result.error().debug();
    ASSERT_EQ(d.files.size(), 1u);
    EXPECT_EQ(d.files[0], d.result->second);
    EXPECT_EQ(d.csv, c.csv);
    EXPECT_EQ(d.result->first.size(), lines_of(c.csv).size());
  }
}

TEST(DecodeScanraw, CutOrMiscountedReplyIsParseEndKeepingTheLinesWritten) {
  const struct {
    const char* name;
    std::string reply;
    std::uint64_t points;
    std::string error;
    std::string csv;
  } cases[] = {
      {"data cut after two records", "{" + recs({0, 0}), 3, "expected 3 points, received 2",
       "100,-128\n150,-128\n"},
      {"brace alone", "{", 3, "expected 3 points, received 0", ""},
      // A last group of one or two bytes is never a point.
      {"data cut inside a record", "{" + recs({4000, 4000}) + "x\x10", 3,
       "expected 3 points, received 2", "100,-3\n150,-3\n"},
      {"end group first", "{" + kEnd + recs({4096}), 3, "expected 3 points, received 0", ""},
      // A measurement interrupted on the analyser: its "}" comes early.
      {"fewer records then the closing brace", "{" + recs({0, 0}) + "}", 3,
       "expected 3 points, received 2", "100,-128\n150,-128\n"},
      {"fewer records than points", "{" + recs({0, 0}) + kEnd, 3, "expected 3 points, received 2",
       "100,-128\n150,-128\n"},
      {"more records than points", "{" + recs({0, 0, 0, 0, 0}) + kEnd, 3,
       "expected 3 points, received 5", "100,-128\n150,-128\n200,-128\n250,-128\n300,-128\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir("sparvik-scan");
    const Decoded d = decode(dir, c.reply, 100 * MHz, 200 * MHz, c.points);
    ASSERT_FALSE(d.result.has_value());
    EXPECT_EQ(d.result.error().kind(), SparvikError::Kind::ParseEnd);
    EXPECT_EQ(text_of(d.result.error()), c.error);
    ASSERT_EQ(d.files.size(), 1u);
    EXPECT_EQ(d.csv, c.csv);
  }
}

TEST(DecodeScanraw, ReturnsThePointsAndTheTimedFileName) {
  TempDir dir("sparvik-scan");
  const Decoded d = decode(dir, "{" + recs({0, 3000, 4096}) + kEnd, 100 * MHz, 200 * MHz, 3);
  ASSERT_TRUE(d.result.has_value());
  EXPECT_EQ(d.result->first, (SweepPoints{{100.0, -128.0}, {150.0, -34.25}, {200.0, 0.0}}));
  EXPECT_TRUE(
      std::regex_match(d.result->second, std::regex(R"(scan_\d{8} \d{2}_\d{2}_\d{2}\.csv)")))
      << d.result->second;
}

TEST(DecodeScanraw, KeepsTheOrderOfOperationsOfTheFrequency) {
  // j × step + start, then ÷ 1e6: adding the start in MHz afterwards would give
  // 245.61599999999999 for point 78, and a fused multiply-add differs too.
  std::string reply = "{";
  for (int j = 0; j < 10001; ++j) reply += rec(4096);
  reply += kEnd;
  TempDir dir("sparvik-scan");
  const Decoded d = decode(dir, reply, 240 * MHz, 960 * MHz, 10001);
  ASSERT_TRUE(d.result.has_value());
  const auto lines = lines_of(d.csv);
  ASSERT_EQ(lines.size(), 10001u);
  EXPECT_EQ(lines[0], "240,0");
  EXPECT_EQ(lines[1], "240.072,0");
  EXPECT_EQ(lines[78], "245.616,0");
  EXPECT_EQ(lines[10000], "960,0");
  EXPECT_EQ(d.result->first[78].first, 245.616);

  // Here j × step is inexact: a fused multiply-add would give 183.33333333333334 for point 5.
  TempDir seventh("sparvik-scan");
  const Decoded sixths =
      decode(seventh, "{" + recs({0, 0, 0, 0, 0, 0, 0}) + kEnd, 100 * MHz, 200 * MHz, 7);
  EXPECT_EQ(sixths.csv,
            "100,-128\n116.66666666666667,-128\n133.33333333333331,-128\n150,-128\n"
            "166.66666666666666,-128\n183.33333333333331,-128\n200,-128\n");
}

TEST(DecodeScanraw, WithoutBraceLeavesAnEmptyFile) {
  log::testing::Capture capture("trace");
  TempDir dir("sparvik-scan");
  const Decoded d = decode(dir, "scanraw 1 2 3\r\n" + recs({1, 2}), 100 * MHz, 200 * MHz, 3);
  ASSERT_FALSE(d.result.has_value());
  EXPECT_EQ(d.result.error().kind(), SparvikError::Kind::ParseBeggining);
  EXPECT_EQ(text_of(d.result.error()), "{");
  ASSERT_EQ(d.files.size(), 1u);
  EXPECT_EQ(d.csv, "");
  EXPECT_TRUE(capture.records_for("sparvik::scan").empty());
}

TEST(DecodeScanraw, MisalignedGroupIsParseEndAfterTheLinesBeforeIt) {
  log::testing::Capture capture("trace");
  TempDir dir("sparvik-scan");
  const Decoded d =
      decode(dir, "{" + recs({0, 4096}) + "\r\x10\x00" + rec(0) + kEnd, 100 * MHz, 200 * MHz, 3);
  ASSERT_FALSE(d.result.has_value());
  EXPECT_EQ(d.result.error().kind(), SparvikError::Kind::ParseEnd);
  EXPECT_EQ(text_of(d.result.error()), "Wrong alignement char");
  EXPECT_EQ(d.csv, "100,-128\n150,0\n");
  const auto records = capture.records_for("sparvik::scan");
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back(), (CapturedRecord{Level::Error, "sparvik::scan", "sparvik::scan",
                                            "Wrong alignment char expected 120 found 13"}));
}

TEST(DecodeScanraw, UnusableDirectoryIsOpenOutputWithTheSystemError) {
  TempDir dir("sparvik-scan");
  const auto result = decode_scanraw(bytes("{" + kEnd), 1, 2, 2, (dir.path() / "missing").string());
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind(), SparvikError::Kind::OpenOutput);
  EXPECT_EQ(os_code_of(result.error()), ENOENT);
  EXPECT_TRUE(dir.file_names().empty());
}

TEST(DecodeScanraw, FailedWritesAreOpenOutputEvenWhenOnlyTheLastWriteOutFails) {
  std::string many = "{";
  for (int j = 0; j < 2000; ++j) many += rec(3000);  // far more than one 8 KiB buffer
  many += kEnd;
  const struct {
    const char* name;
    std::string reply;
    std::uint64_t points;
    rlim_t limit;
  } cases[] = {
      {"a write while decoding", many, 2000, 4096},
      {"only the write-out at the close", "{" + rec(3000) + kEnd, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir("sparvik-scan");
    std::expected<std::pair<SweepPoints, std::string>, SparvikError> result;
    {
      const FileSizeLimit limit(c.limit);
      result = decode_scanraw(bytes(c.reply), 100 * MHz, 200 * MHz, c.points, dir.path().string());
    }
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind(), SparvikError::Kind::OpenOutput);
    EXPECT_EQ(os_code_of(result.error()), EFBIG);
  }
}

TEST(DecodeScanraw, NeverOverwritesAnotherSweepsFileFromTheSameSecond) {
  // Every name the decoder may pick in the next seconds is taken, as is its "_1" form.
  TempDir dir("sparvik-scan");
  const std::time_t now = std::time(nullptr);
  for (std::time_t t = now - 1; t <= now + 30; ++t) {
    for (unsigned attempt : {0u, 1u}) {
      std::ofstream(io::numbered_path(dir.path() / csv_file_name(t), attempt)) << "earlier sweep\n";
    }
  }
  const auto taken = dir.file_names();
  const auto result =
      decode_scanraw(bytes("{" + rec(4096) + kEnd), 100 * MHz, 200 * MHz, 1, dir.path().string());
  ASSERT_TRUE(result.has_value()) << result.error().debug();
  EXPECT_TRUE(
      std::regex_match(result->second, std::regex(R"(scan_\d{8} \d{2}_\d{2}_\d{2}_2\.csv)")))
      << result->second;
  EXPECT_EQ(read_file(dir.path() / result->second), "100,0\n");
  for (const auto& name : taken) EXPECT_EQ(read_file(dir.path() / name), "earlier sweep\n");
  EXPECT_EQ(dir.file_names().size(), taken.size() + 1);
}

TEST(DecodeScanraw, LogsTheEdgesOfTheReplyEachPointAndTheEnd) {
  // Positions: 'a' 0, 'b' 1, '{' 2, records at 3 and 6, end group at 9, "zz" at 12.
  const std::string reply = "ab{" + recs({4000, 4096}) + kEnd + "zz";
  log::testing::Capture capture("trace");
  TempDir dir("sparvik-scan");
  ASSERT_TRUE(decode(dir, reply, 100 * MHz, 200 * MHz, 2).result.has_value());
  auto info = [](Level level, std::string message) {
    return CapturedRecord{level, "sparvik::scan", "sparvik::scan", std::move(message)};
  };
  EXPECT_EQ(
      capture.records_for("sparvik::scan"),
      (std::vector<CapturedRecord>{
          info(Level::Info, "The begining looks like :[98, 123, 120, 160, 15, 120, 0, 16, 125, 0]"),
          info(Level::Info, "The end looks like :[160, 15, 120, 0, 16, 125, 0, 0, 122, 122]"),
          info(Level::Trace, "0 : 100,-3"),
          info(Level::Trace, "1 : 200,0"),
          info(Level::Warn, "Found an end at 6 [123, 120, 160, 15]"),
          info(Level::Info, "End at 6 expected 125 and found 15 ([123, 120, 160, 15])"),
      }));
}

TEST(DecodeScanraw, CutsWindowsToTheReply) {
  // The records are written whatever the outcome; only the end group first is a short reply.
  const struct {
    const char* name;
    std::string reply;
    bool decoded;
    std::vector<std::string> messages;
  } cases[] = {
      {"end group first in a short reply",
       "{" + kEnd,
       false,
       {"The begining looks like :[123, 125, 0, 0]", "The end looks like :[123, 125, 0, 0]",
        "Found an end at 0 []", "End at 0 expected 125 and found nothing ([])"}},
      {"data ending without an end marker",
       "{" + rec(4096),
       true,
       {"The begining looks like :[123, 120, 0, 16]", "The end looks like :[123, 120, 0, 16]",
        "0 : 100,0", "End at 4 expected 125 and found 16 ([123, 120, 0, 16])"}},
      // The analyser's own ending: the lone "}" is no end group, and the data ends on it.
      {"lone closing brace",
       "{" + rec(4096) + "}",
       true,
       {"The begining looks like :[123, 120, 0, 16, 125]",
        "The end looks like :[123, 120, 0, 16, 125]", "0 : 100,0",
        "End at 5 expected 125 and found 125 ([120, 0, 16, 125])"}},
      {"end at 3",
       "{" + rec(4096) + kEnd,
       true,
       {"The begining looks like :[123, 120, 0, 16, 125, 0, 0]",
        "The end looks like :[123, 120, 0, 16, 125, 0, 0]", "0 : 100,0",
        "Found an end at 3 [123, 120, 0]", "End at 3 expected 125 and found 0 ([123, 120, 0])"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log::testing::Capture capture("trace");
    TempDir dir("sparvik-scan");
    EXPECT_EQ(decode(dir, c.reply, 100 * MHz, 200 * MHz, 1).result.has_value(), c.decoded);
    std::vector<std::string> messages;
    for (const auto& r : capture.records_for("sparvik::scan")) messages.push_back(r.message);
    EXPECT_EQ(messages, c.messages);
  }
}

TEST(FrequencyStep, HasNoStepBelowTwoPointsAndCountsDownForAReversedRange) {
  EXPECT_EQ(frequency_step(100, 200, 3), 50.0);
  EXPECT_EQ(frequency_step(100, 200, 1), 0.0);
  EXPECT_EQ(frequency_step(100, 200, 0), 0.0);
  EXPECT_EQ(frequency_step(200, 100, 3), -50.0);
}

TEST(NumberText, IsShortestRoundTripPositional) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {93.0, "93"},
      {-34.25, "-34.25"},
      {240.072, "240.072"},
      {1.6666666666666665, "1.6666666666666665"},
      {1919.96875, "1919.96875"},
      {-128.0, "-128"},
      {0.0, "0"},
      {0.1, "0.1"},
      {1e21, "1000000000000000000000"},
      {1.5e-7, "0.00000015"},
  };
  for (const auto& c : cases) EXPECT_EQ(number_text(c.value), c.text);
  const std::string tiny = number_text(-5e-324);  // the longest kind of text
  EXPECT_EQ(tiny.size(), 327u);
  EXPECT_EQ(tiny.substr(0, 5), "-0.00");
  EXPECT_EQ(tiny.back(), '5');
}

TEST(CsvFileName, UsesTwoDigitFieldsOfLocalTime) {
  const struct {
    int year, month, day, hour, minute, second;
    const char* name;
  } cases[] = {
      {2026, 12, 9, 9, 52, 28, "scan_20261209 09_52_28.csv"},
      {2026, 3, 3, 9, 5, 7, "scan_20260303 09_05_07.csv"},
      {2031, 1, 31, 23, 59, 59, "scan_20310131 23_59_59.csv"},
  };
  for (const auto& c : cases) {
    std::tm local{};
    local.tm_year = c.year - 1900;
    local.tm_mon = c.month - 1;
    local.tm_mday = c.day;
    local.tm_hour = c.hour;
    local.tm_min = c.minute;
    local.tm_sec = c.second;
    local.tm_isdst = -1;
    EXPECT_EQ(csv_file_name(std::mktime(&local)), c.name);
  }
}

}  // namespace
}  // namespace sparvik::scan
