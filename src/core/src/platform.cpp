#include "orvane/core/platform.hpp"

#include <thread>

namespace orvane {

std::string Platform::os_error_text(OsError error) const {
  return describe_error(error.code) + " (os error " + std::to_string(error.code) + ")";
}

std::size_t Platform::processor_count() {
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

}  // namespace orvane
