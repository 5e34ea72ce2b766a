// Creating a file under the first free name of its numbered sequence.
#include "platform/io/create_exclusive.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace sparvik::io {
namespace {

using test_support::read_file;
using test_support::TempDir;

TEST(NumberedPath, SuffixGoesBeforeTheExtension) {
  const struct {
    std::string wanted;
    unsigned attempt;
    std::string path;
  } cases[] = {
      {"scan_20261209 09_52_28.csv", 0, "scan_20261209 09_52_28.csv"},
      {"scan_20261209 09_52_28.csv", 1, "scan_20261209 09_52_28_1.csv"},
      {"logs/sparvik_2026-12-09_09-52-28.log", 12, "logs/sparvik_2026-12-09_09-52-28_12.log"},
      {"dir.d/plain", 2, "dir.d/plain_2"},
      {"/tmp/archive.tar.gz", 3, "/tmp/archive.tar_3.gz"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(numbered_path(c.wanted, c.attempt), c.path) << c.wanted << " " << c.attempt;
  }
}

TEST(CreateExclusive, TakenNamesGetTheNextFreeSuffixAndStayUntouched) {
  const TempDir dir("sparvik-io");
  const auto wanted = dir.path() / "scan_20261209 09_52_28.csv";
  std::ofstream(wanted) << "earlier sweep\n";
  std::ofstream(dir.path() / "scan_20261209 09_52_28_2.csv") << "another\n";

  std::vector<std::string> created;
  for (int run = 0; run < 2; ++run) {
    auto file = create_exclusive(wanted);
    ASSERT_TRUE(file.has_value()) << file.error().display();
    EXPECT_TRUE(file->fd.valid());
    created.push_back(file->path);
  }
  const std::string base = (dir.path() / "scan_20261209 09_52_28").string();
  EXPECT_EQ(created, (std::vector<std::string>{base + "_1.csv", base + "_3.csv"}));
  EXPECT_EQ(read_file(wanted), "earlier sweep\n");
  EXPECT_EQ(read_file(base + "_2.csv"), "another\n");
}

TEST(CreateExclusive, OtherFailuresEndTheSearch) {
  const TempDir dir("sparvik-io");
  const auto file = create_exclusive(dir.path() / "gone" / "x.log");
  ASSERT_FALSE(file.has_value());
  EXPECT_EQ(file.error().kind, IoErrorKind::NotFound);
}

}  // namespace
}  // namespace sparvik::io
