// The arbitrary-precision integer of the `Long` variant.
#pragma once

#include <boost/multiprecision/cpp_int.hpp>

namespace marshal {

using BigInt = boost::multiprecision::cpp_int;

}  // namespace marshal
