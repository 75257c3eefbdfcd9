// Deterministic settings-shaped files for the benchmarks: a value tree of the shape the client
// keeps (a root dict of a few thousand members, nested dicts, number lists, text, time stamps,
// three probe formations under "ui") and its stream as the client writes it: mapped header,
// about 5% of the byte strings shared and referenced again, and a checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "marshal/value.hpp"

namespace orvane::bench {

struct BenchSettings {
  marshal::MarshalValue tree;        // what read_marshal returns for `stream`
  std::vector<std::uint8_t> stream;  // about the requested size, a little over it
  std::size_t root_members = 0;
  std::size_t strings = 0;         // byte strings written
  std::size_t shared_strings = 0;  // of these, written with the shared flag or as a reference
};

// The same arguments always give the same bytes.
BenchSettings generate_settings(std::size_t target_bytes, std::uint64_t seed = 1);

// As generate_settings, without keeping the tree (the 64 MB files would otherwise need a few
// hundred MB more to make).
std::vector<std::uint8_t> generate_settings_stream(std::size_t target_bytes,
                                                   std::uint64_t seed = 1);

inline constexpr std::size_t CODEC_BENCH_BYTES = 16'000'000;

// The 16 MB settings of the codec and JSON bridge benchmarks, made once on first use.
const BenchSettings& codec_bench_settings();
const std::vector<std::uint8_t>& codec_bench_stream();

}  // namespace orvane::bench
