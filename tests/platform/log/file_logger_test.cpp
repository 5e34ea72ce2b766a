// The file logger: lazy creation, the 8 KiB buffer, the flusher thread, shutdown, several runs in
// one second, concurrent writers and failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/log/log.hpp"
#include "support/temp_dir.hpp"

namespace sparvik::log {
namespace {

using namespace std::chrono_literals;
using test_support::read_file;
using test_support::TempDir;
using ::testing::HasSubstr;

constexpr std::string_view kProgramFilter = "info, my::critical::module=trace";

FileLoggerOptions never_flushing() {
  FileLoggerOptions options;
  options.flush_interval = std::chrono::hours(1);
  return options;
}

Logger start(const TempDir& dir, const FileLoggerOptions& options = {}) {
  auto logger = start_file_logger(kProgramFilter, "/opt/bin/sparvik", dir.path().string(), options);
  if (!logger) throw std::runtime_error(logger.error().message);
  return std::move(*logger);
}

TEST(FileLogger, NamesTheFileAfterProgramAndStartTime) {
  const TempDir dir("sparvik-log");
  Logger logger = start(dir);
  const std::filesystem::path name = logger.file_name();
  EXPECT_EQ(name.parent_path(), dir.path());
  EXPECT_THAT(name.filename().string(),
              ::testing::MatchesRegex(
                  R"(sparvik_[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}-[0-9]{2}-[0-9]{2}\.log)"));
}

TEST(FileLogger, FileIsCreatedByFirstRecordAndWrittenInWholeBlocks) {
  const TempDir dir("sparvik-log");
  std::optional<Logger> logger = start(dir, never_flushing());
  EXPECT_TRUE(dir.file_paths().empty());

  // "INFO [m] " + 90 characters + "\n": 100 bytes a line, so the 82nd line fills the 8192 bytes.
  auto line_message = [](int i) { return fmt::format("{:090}", i); };
  std::string all;
  for (int i = 0; i < 81; ++i) {
    write(Level::Info, Origin("sparvik::scan", "m"), line_message(i));
    all += format_line(Level::Info, "m", line_message(i));
  }
  const std::string path = logger->file_name();
  ASSERT_EQ(dir.file_paths(), std::vector<std::filesystem::path>{path});
  EXPECT_EQ(read_file(path), "");

  write(Level::Info, Origin("sparvik::scan", "m"), line_message(81));
  all += format_line(Level::Info, "m", line_message(81));
  EXPECT_EQ(read_file(path), all.substr(0, 8192));

  logger.reset();
  EXPECT_EQ(read_file(path), all);
}

TEST(FileLogger, LineLongerThanBufferFollowsWhatIsBuffered) {
  const TempDir dir("sparvik-log");
  std::optional<Logger> logger = start(dir, never_flushing());
  const std::string long_message(20000, 'x');
  write(Level::Warn, Origin("sparvik::scan", "a"), "short");
  write(Level::Error, Origin("sparvik::scan", "b"), long_message);
  const std::string all = "WARN [a] short\n" + format_line(Level::Error, "b", long_message);
  const std::string path = logger->file_name();
  EXPECT_EQ(read_file(path), all.substr(0, 2 * 8192));
  logger.reset();
  EXPECT_EQ(read_file(path), all);
}

TEST(FileLogger, ShutdownWritesOutOnlyAdmittedRecords) {
  const TempDir dir("sparvik-log");
  std::optional<Logger> logger = start(dir, never_flushing());
  SPARVIK_LOG(Level::Info, Origin("info", "sparvik"), "Logging started");
  SPARVIK_LOG(Level::Debug, "sparvik::scan", "dropped {}", 1);
  SPARVIK_LOG(Level::Trace, "sparvik::structs", "Progress: {}", 5);
  SPARVIK_LOG(Level::Trace, "my::critical::module", "kept {}", 2);
  SPARVIK_LOG(Level::Error, "sparvik::ui", "failed: {}", "port");
  const std::string path = logger->file_name();
  logger.reset();
  EXPECT_EQ(read_file(path),
            "INFO [sparvik] Logging started\n"
            "TRACE [my::critical::module] kept 2\n"
            "ERROR [sparvik::ui] failed: port\n");
  EXPECT_FALSE(enabled(Level::Error, "sparvik::ui"));
}

TEST(FileLogger, FlusherWritesBufferedLinesWithoutShutdown) {
  const TempDir dir("sparvik-log");
  Logger logger = start(dir);  // the program's one-second interval
  write(Level::Info, Origin("info", "sparvik"), "Logging started");
  const std::string expected = "INFO [sparvik] Logging started\n";
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  std::string content;
  while ((content = read_file(logger.file_name())) != expected &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(content, expected);
}

TEST(FileLogger, SecondRunInTheSameSecondKeepsTheFirstLog) {
  const TempDir dir("sparvik-log");
  FileLoggerOptions options = never_flushing();
  options.start_time = std::chrono::system_clock::now();
  std::vector<std::string> names;
  for (std::string_view message : {"first run", "second run", "third run"}) {
    Logger logger = start(dir, options);
    write(Level::Info, Origin("info", "sparvik"), message);
    names.push_back(logger.file_name());
  }
  ASSERT_EQ(names.size(), 3u);
  const std::string base = names[0].substr(0, names[0].size() - 4);
  EXPECT_EQ(names[1], base + "_1.log");
  EXPECT_EQ(names[2], base + "_2.log");
  EXPECT_EQ(read_file(names[0]), "INFO [sparvik] first run\n");
  EXPECT_EQ(read_file(names[1]), "INFO [sparvik] second run\n");
  EXPECT_EQ(read_file(names[2]), "INFO [sparvik] third run\n");
}

TEST(FileLogger, RecordsFromSeveralThreadsArriveWholeAndInOrder) {
  const TempDir dir("sparvik-log");
  std::optional<Logger> logger = start(dir);  // flushes every second
  constexpr int kThreads = 3;
  constexpr int kRecords = 2000;
  // Long enough for the flusher to run between the writers at least once.
  const auto until = std::chrono::steady_clock::now() + 1500ms;
  std::vector<int> written(kThreads, 0);
  {
    std::vector<std::jthread> writers;
    for (int t = 0; t < kThreads; ++t) {
      writers.emplace_back([t, until, &count = written[t]] {
        for (; count < kRecords || std::chrono::steady_clock::now() < until; ++count) {
          SPARVIK_LOG(Level::Info, "sparvik::scan", "thread {} record {}", t, count);
        }
      });
    }
  }
  const std::string path = logger->file_name();
  logger.reset();

  std::vector<int> next(kThreads, 0);
  std::istringstream lines(read_file(path));
  for (std::string line; std::getline(lines, line);) {
    int t = -1;
    int i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "INFO [sparvik::scan] thread %d record %d", &t, &i), 2)
        << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    ASSERT_EQ(i, next[t]) << line;
    ++next[t];
  }
  EXPECT_EQ(next, written);
}

TEST(FileLogger, RecordsRacingShutdownAreWrittenWholeOrDropped) {
  const TempDir dir("sparvik-log");
  std::atomic<bool> stop{false};
  std::vector<std::jthread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([&stop] {
      while (!stop.load()) SPARVIK_LOG(Level::Info, "sparvik::scan", "{:>40}", "racing");
    });
  }
  std::vector<std::string> paths;
  for (int run = 0; run < 20; ++run) {
    Logger logger = start(dir);
    std::this_thread::sleep_for(1ms);
    paths.push_back(logger.file_name());
  }
  stop = true;
  writers.clear();
  const std::string line = fmt::format("INFO [sparvik::scan] {:>40}\n", "racing");
  for (const std::string& path : paths) {
    const std::string content = read_file(path);
    EXPECT_EQ(content.size() % line.size(), 0u) << path;
    for (std::size_t at = 0; at < content.size(); at += line.size()) {
      ASSERT_EQ(content.substr(at, line.size()), line) << path << " at " << at;
    }
  }
}

TEST(FileLogger, StartFailuresAreErrors) {
  const TempDir dir("sparvik-log");
  const std::filesystem::path plain_file = dir.path() / "plain";
  std::ofstream(plain_file) << "x";
  const struct {
    std::string_view filter;
    std::string directory;
    std::string_view reason;
  } cases[] = {
      {"info, x=loud", dir.path().string(), "invalid log filter"},
      {kProgramFilter, (dir.path() / "missing").string(), "No such file or directory"},
      {kProgramFilter, plain_file.string(), "not a directory"},
  };
  for (const auto& c : cases) {
    const auto logger = start_file_logger(c.filter, "sparvik", c.directory);
    ASSERT_FALSE(logger.has_value()) << c.directory;
    EXPECT_THAT(logger.error().message, HasSubstr(c.reason));
  }
  EXPECT_FALSE(enabled(Level::Error, "sparvik"));
}

TEST(FileLogger, OnlyOneLoggerOrCaptureAtATime) {
  const TempDir dir("sparvik-log");
  {
    Logger first = start(dir);
    const auto second = start_file_logger(kProgramFilter, "sparvik", dir.path().string());
    ASSERT_FALSE(second.has_value());
    EXPECT_EQ(second.error().message, "a logger is already running");
    EXPECT_THROW(testing::Capture capture, std::logic_error);
    EXPECT_TRUE(enabled(Level::Info, "sparvik::ui"));  // the first one still runs
  }
  {
    testing::Capture capture;
    EXPECT_FALSE(start_file_logger(kProgramFilter, "sparvik", dir.path().string()).has_value());
  }
  EXPECT_TRUE(start_file_logger(kProgramFilter, "sparvik", dir.path().string()).has_value());
}

TEST(FileLogger, UncreatableFileIsReportedOnceAndLoggingGoesOn) {
  const TempDir dir("sparvik-log");
  const std::filesystem::path doomed = dir.path() / "doomed";
  std::filesystem::create_directory(doomed);
  std::optional<Logger> logger;
  {
    auto started = start_file_logger(kProgramFilter, "sparvik", doomed.string(), never_flushing());
    ASSERT_TRUE(started.has_value());
    logger.emplace(std::move(*started));
  }
  std::filesystem::remove(doomed);

  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) write(Level::Info, Origin("info", "sparvik"), "lost");
  logger.reset();
  const std::string reported = ::testing::internal::GetCapturedStderr();

  EXPECT_THAT(reported, HasSubstr("cannot create log file"));
  EXPECT_THAT(reported, HasSubstr("No such file or directory"));
  EXPECT_EQ(reported.find("Logging:"), reported.rfind("Logging:")) << reported;
}

}  // namespace
}  // namespace sparvik::log
