// The process's one memory policy, applied once at start-up on every platform.
#pragma once

namespace orvane {

// From here on memory freed stays with the process for the next allocation, and only blocks of
// 32 MiB or more are mapped from the system on their own.
void apply_memory_policy();

}  // namespace orvane
