// Throughput of the one-pass codec on the 16 MB settings-shaped stream, in stream bytes per
// second: bytes to tagged JSON into an arena, as the tool loads a settings file, and tagged JSON
// back to bytes, as it saves one.
#include <benchmark/benchmark.h>

#include <boost/json/monotonic_resource.hpp>
#include <cstdint>
#include <vector>

#include "marshal/json.hpp"
#include "marshal/json_codec.hpp"
#include "marshal/member_selection.hpp"
#include "settings_generator.hpp"
#include "support/large_blocks.hpp"

namespace {

using orvane::bench::codec_bench_settings;

void set_stream_bytes(benchmark::State& state) {
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * codec_bench_settings().stream.size()));
}

// Each tree goes into an arena over the same buffer, faulted in once: the figure is the codec's,
// not the kernel's (bench-commands shows the whole cost, page faults included).
void decode_to_json_16mb(benchmark::State& state) {
  const auto& stream = codec_bench_settings().stream;
  std::vector<unsigned char> buffer(stream.size() * 6);
  for (auto _ : state) {
    boost::json::monotonic_resource arena(buffer.data(), buffer.size());
    auto decoded = marshal::decode_to_json(stream, &arena);
    if (!decoded) {
      state.SkipWithError(decoded.error().message().c_str());
      break;
    }
    benchmark::DoNotOptimize(decoded->value);
  }
  set_stream_bytes(state);
}
BENCHMARK(decode_to_json_16mb)->Unit(benchmark::kMillisecond);

// The listing's decode: every byte read and checked, only the formations built.
void decode_selected_json_16mb(benchmark::State& state) {
  const auto& stream = codec_bench_settings().stream;
  marshal::MemberSelection selection;
  selection.add({"bytes:ui", "bytes:probescanning.customFormations"});
  selection.add({"bytes:ui", "bytes:probescanning.selectedFormationID"});
  for (auto _ : state) {
    boost::json::monotonic_resource arena;
    auto decoded = marshal::decode_selected_json(stream, selection, &arena);
    if (!decoded) {
      state.SkipWithError(decoded.error().message().c_str());
      break;
    }
    benchmark::DoNotOptimize(decoded->value);
  }
  set_stream_bytes(state);
}
BENCHMARK(decode_selected_json_16mb)->Unit(benchmark::kMillisecond);

void encode_from_json_16mb(benchmark::State& state) {
  const auto& stream = codec_bench_settings().stream;
  boost::json::monotonic_resource arena;
  const auto decoded = marshal::decode_to_json(stream, &arena);
  // The tool's kind of buffer, one for every round: its pages are faulted in once.
  support::UnclearedBytes bytes;
  bytes.reserve(stream.size() + stream.size() / 4);
  marshal::VectorOutput out(bytes);
  for (auto _ : state) {
    auto encoded = marshal::encode_from_json(decoded->value, marshal::EncodeOptions{true, 1}, out);
    if (!encoded) {
      state.SkipWithError(encoded.error().error.message().c_str());
      break;
    }
    benchmark::DoNotOptimize(bytes.data());
  }
  set_stream_bytes(state);
}
BENCHMARK(encode_from_json_16mb)->Unit(benchmark::kMillisecond);

}  // namespace
