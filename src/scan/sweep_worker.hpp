// The sweep worker's thread body: one whole sweep on a TinySA, published through the shared cells.
#pragma once

#include <string>

#include "structs/connection_info.hpp"

namespace sparvik::scan {

// `sweep` is the record filled for this sweep; `report` is used only by the failure exit. Both
// share their cells with the record the screens hold. Never throws; ends by itself.
void run_sweep(ConnectionInfo sweep, ConnectionInfo report);

// The same, writing the CSV file into `csv_directory` instead of the working directory (tests
// run many sweeps at once, each in a directory of its own).
void run_sweep_writing_to(ConnectionInfo sweep, ConnectionInfo report, std::string csv_directory);

}  // namespace sparvik::scan
