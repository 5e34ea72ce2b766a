#include "scan/csv_file_name.hpp"

#include <fmt/format.h>

#include <string_view>

namespace sparvik::scan {

std::string csv_file_name(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char stem[64];
  const std::size_t length = std::strftime(stem, sizeof stem, "scan_%Y%m%d %H_%M_%S", &local);
  return fmt::format("{}.csv", std::string_view(stem, length));
}

}  // namespace sparvik::scan
