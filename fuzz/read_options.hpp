// The reader's options in the fuzz targets: copies of shared objects past a mebibyte show the
// fuzzer nothing new and slow every run down. The unit tests keep the real limit.
#pragma once

#include <cstdint>

#include "marshal/reader.hpp"

namespace marshal::fuzzing {

inline constexpr ReadOptions READ_OPTIONS{.copy_budget_floor = std::uint64_t{1} << 20};

}  // namespace marshal::fuzzing
