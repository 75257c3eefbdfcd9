#include "ordered_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace orvane {
namespace {

using namespace std::chrono_literals;

// What one run of the pool did, as the jobs and the caller saw it.
struct Seen {
  std::vector<std::size_t> delivered;
  std::vector<int> made;                  // how often each job ran
  std::vector<std::size_t> begun_behind;  // jobs delivered when each job began
  std::size_t most_at_once = 0;
  bool delivered_elsewhere = false;  // a delivery off the calling thread
};

// Runs `count` jobs on `threads` threads, job `slow` taking a while, the caller stopping after
// it took `stop_after` results; job `failing` throws.
Seen run_pool(std::size_t threads, std::size_t count, std::optional<std::size_t> stop_after,
              std::optional<std::size_t> slow = std::nullopt,
              std::optional<std::size_t> failing = std::nullopt) {
  Seen seen;
  seen.made.assign(count, 0);
  seen.begun_behind.assign(count, 0);
  std::mutex lock;
  std::size_t running = 0;
  std::atomic<std::size_t> delivered{0};
  const std::thread::id caller = std::this_thread::get_id();
  map_in_order<std::string>(
      threads, count,
      [&](std::size_t i) {
        {
          const std::lock_guard<std::mutex> hold(lock);
          ++seen.made[i];
          seen.begun_behind[i] = delivered;
          seen.most_at_once = std::max(seen.most_at_once, ++running);
        }
        if (slow == i) std::this_thread::sleep_for(50ms);
        {
          const std::lock_guard<std::mutex> hold(lock);
          --running;
        }
        if (failing == i) throw std::runtime_error("job " + std::to_string(i));
        return "result " + std::to_string(i);
      },
      [&](std::size_t i, std::string result) {
        EXPECT_EQ(result, "result " + std::to_string(i));
        seen.delivered_elsewhere |= std::this_thread::get_id() != caller;
        seen.delivered.push_back(i);
        ++delivered;
        return !stop_after || seen.delivered.size() < *stop_after;
      });
  return seen;
}

std::vector<std::size_t> first(std::size_t n) {
  std::vector<std::size_t> indexes(n);
  for (std::size_t i = 0; i < n; ++i) indexes[i] = i;
  return indexes;
}

TEST(OrderedPool, DeliversEveryResultInOrderAndKeepsToItsWindow) {
  const struct {
    std::size_t count;
    std::optional<std::size_t> stop_after;
    std::optional<std::size_t> slow;
  } rows[] = {
      {0, std::nullopt, std::nullopt},
      {1, std::nullopt, std::nullopt},
      {2, std::nullopt, 0},
      {7, std::nullopt, 0},
      {20, std::nullopt, 3},
      {20, 1, std::nullopt},
      {20, 3, 0},
      {20, 20, std::nullopt},
  };
  for (const std::size_t threads : {1, 2, 3, 8}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(row.count) + " jobs" +
                   (row.stop_after ? ", stop after " + std::to_string(*row.stop_after) : "") +
                   (row.slow ? ", job " + std::to_string(*row.slow) + " slow" : ""));
      const Seen seen = run_pool(threads, row.count, row.stop_after, row.slow);
      const std::size_t taken = std::min(row.count, row.stop_after.value_or(row.count));
      EXPECT_EQ(seen.delivered, first(taken));
      EXPECT_FALSE(seen.delivered_elsewhere);
      const std::size_t window = jobs_in_flight(threads, row.count);
      EXPECT_LE(seen.most_at_once, window);
      for (std::size_t i = 0; i < row.count; ++i) {
        SCOPED_TRACE("job " + std::to_string(i));
        EXPECT_LE(seen.made[i], 1);
        if (i < taken) {
          EXPECT_EQ(seen.made[i], 1);
        }
        // Never more than the window ahead of the caller, so no more results wait than that.
        if (seen.made[i] == 1) {
          EXPECT_GE(seen.begun_behind[i] + window, i + 1);
        }
      }
      if (row.stop_after) {
        for (std::size_t i = taken + window - 1; i < row.count; ++i)
          EXPECT_EQ(seen.made[i], 0) << i;
      }
    }
  }
}

// A slow first job holds no thread but its own: the others go on with what the window allows.
TEST(OrderedPool, RunsJobsSideBySide) {
  for (const std::size_t threads : {2, 4}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    const Seen seen = run_pool(threads, 12, std::nullopt, 0);
    EXPECT_GE(seen.most_at_once, 2u);
    EXPECT_EQ(seen.delivered, first(12));
  }
}

TEST(OrderedPool, ThrowsAJobsExceptionAtItsTurn) {
  for (const std::size_t threads : {1, 2, 8}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::vector<std::size_t> delivered;
    try {
      map_in_order<std::size_t>(
          threads, 10,
          [](std::size_t i) {
            if (i == 2) throw std::runtime_error("job 2");
            return i;
          },
          [&](std::size_t i, std::size_t) {
            delivered.push_back(i);
            return true;
          });
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "job 2");
    }
    EXPECT_EQ(delivered, first(2));
  }
}

}  // namespace
}  // namespace orvane
