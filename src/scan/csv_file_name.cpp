#include "scan/csv_file_name.hpp"

#include <fmt/format.h>

#include <string_view>

namespace sparvik::scan {

std::string csv_file_name(std::time_t when, unsigned attempt) {
  std::tm local{};
  localtime_r(&when, &local);
  char stem[64];
  const std::size_t length = std::strftime(stem, sizeof stem, "scan_%Y%m%d %H_%M_%S", &local);
  const std::string_view time_part(stem, length);
  if (attempt == 0) return fmt::format("{}.csv", time_part);
  return fmt::format("{}_{}.csv", time_part, attempt);
}

}  // namespace sparvik::scan
