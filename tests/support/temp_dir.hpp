// A fresh directory for one test (or one benchmark, one fuzzing run), removed with everything in
// it afterwards, and a reader for the files written into it.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace sparvik::test_support {

class TempDir {
 public:
  // Made under the system's temporary directory as "<prefix>-XXXXXX"; throws when that fails, so
  // a test cannot go on writing somewhere else.
  explicit TempDir(std::string_view prefix) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      const int error = errno;  // before the message's allocation can touch it
      throw std::system_error(error, std::generic_category(), "mkdtemp " + pattern);
    }
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // What the directory holds, in name order.
  std::vector<std::filesystem::path> file_paths() const {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) found.push_back(entry);
    std::ranges::sort(found);
    return found;
  }
  std::vector<std::string> file_names() const {
    std::vector<std::string> names;
    for (const auto& path : file_paths()) names.push_back(path.filename().string());
    return names;
  }

 private:
  std::filesystem::path path_;
};

// The whole file as bytes; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace sparvik::test_support
