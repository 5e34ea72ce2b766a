// The name of a sweep's CSV file: "scan_" and the local time as "%Y%m%d %H_%M_%S", then ".csv".
#pragma once

#include <ctime>
#include <string>

namespace sparvik::scan {

std::string csv_file_name(std::time_t when);

}  // namespace sparvik::scan
