// Seeded random value trees of every variant, for round-trip property tests, fuzz seeds and
// benchmarks of the codec and the bridge.
#pragma once

#include <cstdint>
#include <random>

#include "marshal/value.hpp"

namespace marshal::testing {

struct RandomTreeOptions {
  int max_depth = 6;          // nesting levels below the root
  int max_children = 5;       // members per container
  bool reader_shaped = true;  // only trees read_marshal can return (Reduce newobj => None callable)
};

MarshalValue random_tree(std::mt19937_64& rng, const RandomTreeOptions& options = {});

}  // namespace marshal::testing
