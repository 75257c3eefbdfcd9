#include "orvane/core/platform.hpp"

namespace orvane {

std::string Platform::os_error_text(OsError error) const {
  return describe_error(error.code) + " (os error " + std::to_string(error.code) + ")";
}

}  // namespace orvane
