#include "ordered_pool.hpp"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace orvane {
namespace {

// What the threads and the caller share. A job's slot is free again once it is delivered.
class Jobs {
 public:
  Jobs(std::size_t count, std::size_t window) : count_(count), ended_(window) {}

  // A thread's life: begin the next job while the window lets it, until none is left.
  void work(const std::function<void(std::size_t)>& run) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stopped_ || next_ == count_ || next_ < window_end(); });
      if (stopped_ || next_ == count_) return;
      const std::size_t job = next_++;
      lock.unlock();
      std::exception_ptr error;
      try {
        run(job);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      ended_[job % ended_.size()] = Ended{true, error};
      changed_.notify_all();
    }
  }

  // Waits for job `job` to end and frees its slot; its exception, if it threw one.
  std::exception_ptr wait_for(std::size_t job) {
    std::unique_lock<std::mutex> lock(mutex_);
    Ended& ended = ended_[job % ended_.size()];
    changed_.wait(lock, [&] { return ended.done; });
    return std::exchange(ended, Ended{}).error;
  }

  // Once `job` is delivered the window moves on; when the caller wants no more, it closes.
  void delivered(std::size_t job, bool more) {
    const std::lock_guard<std::mutex> lock(mutex_);
    delivered_ = job + 1;
    stopped_ = stopped_ || !more;
    changed_.notify_all();
  }

  void stop() {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  struct Ended {
    bool done = false;
    std::exception_ptr error;
  };

  std::size_t window_end() const { return delivered_ + ended_.size(); }

  std::mutex mutex_;
  std::condition_variable changed_;
  const std::size_t count_;
  std::size_t next_ = 0;       // the next job to begin
  std::size_t delivered_ = 0;  // jobs handed to the caller
  bool stopped_ = false;
  std::vector<Ended> ended_;  // by job % window
};

// Stops the jobs and joins the threads on every way out, an exception's included.
class Threads {
 public:
  explicit Threads(Jobs& jobs) : jobs_(jobs) {}
  Threads(const Threads&) = delete;
  Threads& operator=(const Threads&) = delete;
  ~Threads() {
    jobs_.stop();
    for (std::thread& thread : threads_) thread.join();
  }

  // Starts up to `wanted` threads; fewer when the system has no more to give.
  std::size_t start(std::size_t wanted, const std::function<void(std::size_t)>& run) {
    try {
      while (threads_.size() < wanted) threads_.emplace_back([this, &run] { jobs_.work(run); });
    } catch (const std::system_error&) {
    }
    return threads_.size();
  }

 private:
  Jobs& jobs_;
  std::vector<std::thread> threads_;
};

void run_here(std::size_t count, const std::function<void(std::size_t)>& run,
              const std::function<bool(std::size_t)>& deliver) {
  for (std::size_t i = 0; i < count; ++i) {
    run(i);
    if (!deliver(i)) return;
  }
}

}  // namespace

void run_in_order(std::size_t threads, std::size_t count,
                  const std::function<void(std::size_t)>& run,
                  const std::function<bool(std::size_t)>& deliver) {
  const std::size_t window = jobs_in_flight(threads, count);
  if (window == 1) return run_here(count, run, deliver);
  Jobs jobs(count, window);
  Threads pool(jobs);
  if (pool.start(window, run) == 0) return run_here(count, run, deliver);
  for (std::size_t i = 0; i < count; ++i) {
    if (const std::exception_ptr error = jobs.wait_for(i)) std::rethrow_exception(error);
    const bool more = deliver(i);
    jobs.delivered(i, more);
    if (!more) return;
  }
}

}  // namespace orvane
