// The heap's part of the process's memory policy, applied once at start-up on every platform.
// Large blocks follow support/large_blocks.hpp.
#pragma once

namespace orvane {

// From here on heap memory freed stays with the process for the next allocation, and only heap
// blocks of 32 MiB or more are mapped from the system on their own.
void apply_memory_policy();

}  // namespace orvane
