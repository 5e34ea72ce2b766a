// The sweep worker's thread body: one whole sweep on a TinySA, published through the shared cells.
#pragma once

#include "structs/connection_info.hpp"

namespace sparvik::scan {

// `sweep` is the record filled for this sweep; `report` is used only by the failure exit. Both
// share their cells with the record the screens hold. Never throws; ends by itself.
void run_sweep(ConnectionInfo sweep, ConnectionInfo report);

}  // namespace sparvik::scan
