// Two pieces of work at once: one on the calling thread, one on a thread started for it. Only
// `apply` uses it, to copy a target's backup to the disk while its tree is merged and encoded.
#pragma once

#include <functional>

namespace orvane {

// Runs `there` on a thread of its own while `here` runs on the calling thread, and returns once
// both are done. An exception from either is thrown from here once both are done, `here`'s
// first. Where no thread can be started, `there` runs after `here` on the calling thread.
void run_beside(const std::function<void()>& here, const std::function<void()>& there);

}  // namespace orvane
