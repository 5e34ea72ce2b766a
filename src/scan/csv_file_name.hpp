// The name of a sweep's CSV file: "scan_" and the local time as "%Y%m%d %H_%M_%S", then ".csv";
// when that is taken, "_1", "_2", ... before the ".csv".
#pragma once

#include <ctime>
#include <string>

namespace sparvik::scan {

// The name tried on attempt `attempt`: no suffix on attempt 0, "_<attempt>" after it.
std::string csv_file_name(std::time_t when, unsigned attempt = 0);

}  // namespace sparvik::scan
