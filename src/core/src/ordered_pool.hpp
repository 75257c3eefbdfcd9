// A few threads of the program's own that run numbered jobs side by side and hand their results
// to the calling thread in the jobs' order. Only the listings of a folder's accounts use it;
// everything else runs on one thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace orvane {

// How many jobs of `count` are at most begun and not yet delivered on `threads` threads: one per
// thread, never more than there are jobs, at least one.
constexpr std::size_t jobs_in_flight(std::size_t threads, std::size_t count) {
  return std::max<std::size_t>(1, std::min(threads, count));
}

// Calls run(i) for each i in [0, count) on up to `threads` threads, and once run(i) has returned,
// deliver(i) on the calling thread, in the order of i. Job i begins only once job
// i - jobs_in_flight(threads, count) has been delivered. Once deliver returns false no job
// begins; those begun are waited for and never delivered. An exception from run(i) is thrown
// from here at i's turn, once every thread has stopped. With one thread, or where no thread
// can be started, everything runs on the calling thread.
void run_in_order(std::size_t threads, std::size_t count,
                  const std::function<void(std::size_t)>& run,
                  const std::function<bool(std::size_t)>& deliver);

// run_in_order for jobs that make a value: make(i) on the pool's threads, use(i, value) on the
// calling thread in order, until use returns false.
template <class T, class Make, class Use>
void map_in_order(std::size_t threads, std::size_t count, Make make, Use use) {
  // Job i may only begin once job i - window is delivered, so slot i % window is free by then.
  std::vector<std::optional<T>> slots(jobs_in_flight(threads, count));
  run_in_order(
      threads, count, [&](std::size_t i) { slots[i % slots.size()].emplace(make(i)); },
      [&](std::size_t i) {
        std::optional<T>& slot = slots[i % slots.size()];
        T value = std::move(*slot);
        slot.reset();
        return use(i, std::move(value));
      });
}

}  // namespace orvane
