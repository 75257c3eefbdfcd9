// The process's one memory policy, applied once at start-up on every platform.
#pragma once

namespace orvane {

// From here on a block of LARGE_BLOCK bytes or more is mapped from the system on its own and
// handed back the moment it is freed.
void apply_memory_policy();

}  // namespace orvane
