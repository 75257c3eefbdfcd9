#include "beside_thread.hpp"

#include <exception>
#include <system_error>
#include <thread>

namespace orvane {

void run_beside(const std::function<void()>& here, const std::function<void()>& there) {
  std::exception_ptr there_error;
  std::thread thread;
  try {
    thread = std::thread([&] {
      try {
        there();
      } catch (...) {
        there_error = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
  }
  std::exception_ptr here_error;
  try {
    here();
  } catch (...) {
    here_error = std::current_exception();
  }
  if (thread.joinable()) {
    thread.join();
  } else {
    try {
      there();
    } catch (...) {
      there_error = std::current_exception();
    }
  }
  if (here_error) std::rethrow_exception(here_error);
  if (there_error) std::rethrow_exception(there_error);
}

}  // namespace orvane
