// The platform both programs run on: the POSIX or the Windows implementation of the core's
// interface, whichever the program was built for.
#pragma once

#include <memory>

#include "orvane/core/platform.hpp"

namespace orvane {

std::unique_ptr<Platform> make_native_platform();

}  // namespace orvane
