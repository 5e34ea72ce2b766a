#include "scan/csv_file_name.hpp"

namespace sparvik::scan {

std::string csv_file_name(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char name[64];
  const std::size_t length = std::strftime(name, sizeof name, "scan_%Y%m%d %H_%M_%S.csv", &local);
  return std::string(name, length);
}

}  // namespace sparvik::scan
