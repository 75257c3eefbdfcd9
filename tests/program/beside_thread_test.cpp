#include "beside_thread.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace orvane {
namespace {

using namespace std::chrono_literals;

TEST(RunBeside, RunsBothAtOnceAndThrowsTheFirstFailure) {
  const struct {
    const char* description;
    bool here_throws;
    bool there_throws;
    const char* thrown;  // none when nothing throws
  } rows[] = {
      {"both succeed", false, false, nullptr},
      {"the calling thread's work fails", true, false, "here"},
      {"the other thread's work fails", false, true, "there"},
      {"both fail: the calling thread's first", true, true, "here"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id here_on;
    std::thread::id there_on;
    std::atomic<bool> there_done{false};
    std::string thrown;
    try {
      run_beside(
          [&] {
            here_on = std::this_thread::get_id();
            if (row.here_throws) throw std::runtime_error("here");
          },
          [&] {
            there_on = std::this_thread::get_id();
            std::this_thread::sleep_for(20ms);
            there_done = true;
            if (row.there_throws) throw std::runtime_error("there");
          });
    } catch (const std::runtime_error& e) {
      thrown = e.what();
    }
    EXPECT_EQ(thrown, row.thrown ? row.thrown : "");
    EXPECT_TRUE(there_done) << "both are done before it returns";
    EXPECT_EQ(here_on, caller);
    EXPECT_NE(there_on, caller);
  }
}

}  // namespace
}  // namespace orvane
