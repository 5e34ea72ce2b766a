// The real start of a sweep worker, which start-up hands to the application state.
#pragma once

#include "structs/connection_info.hpp"

namespace sparvik {

// Starts the sweep worker on a detached thread with the filled record and its second copy. A
// thread the system refuses to create is fatal.
void spawn_sweep_worker(ConnectionInfo sweep, ConnectionInfo report);

}  // namespace sparvik
