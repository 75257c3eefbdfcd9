// Throughput of the stream reader and writer on a 16 MB settings-shaped stream, and the memory
// the decoded tree takes as a multiple of the stream's size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <optional>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "heap_usage.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"
#include "settings_generator.hpp"

namespace {

using orvane::bench::codec_bench_settings;
using orvane::bench::codec_bench_stream;

void read_marshal_16mb(benchmark::State& state) {
  const auto& stream = codec_bench_stream();
  for (auto _ : state) {
    auto decoded = marshal::read_marshal(stream);
    if (!decoded) {
      state.SkipWithError(decoded.error().message().c_str());
      break;
    }
    benchmark::DoNotOptimize(decoded->value);
    // Releasing the tree is the caller's business, not the reader's.
    state.PauseTiming();
    { [[maybe_unused]] const auto released = std::move(decoded); }
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(read_marshal_16mb)->Unit(benchmark::kMillisecond);

void write_marshal_16mb(benchmark::State& state) {
  const marshal::MarshalValue& tree = codec_bench_settings().tree;
  std::size_t written = 0;
  for (auto _ : state) {
    auto out = marshal::write_marshal(tree, marshal::EncodeOptions{true, 1});
    if (!out) {
      state.SkipWithError(out.error().message().c_str());
      break;
    }
    written = out->size();
    benchmark::DoNotOptimize(out->data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
  state.counters["output_MB"] = static_cast<double>(written) / (1 << 20);
}
BENCHMARK(write_marshal_16mb)->Unit(benchmark::kMillisecond);

#if defined(__GLIBC__)
// One decode, kept alive while the heap is measured: the tree's bytes per stream byte, malloc's
// own overhead included. Also checks the stream decodes to the tree it was generated from.
void decoded_tree_memory(benchmark::State& state) {
  const auto& settings = codec_bench_settings();
  for (auto _ : state) {
    const std::size_t before = heap_in_use();
    auto decoded = marshal::read_marshal(settings.stream);
    const std::size_t after = heap_in_use();
    if (!decoded) {
      state.SkipWithError(decoded.error().message().c_str());
      break;
    }
    if (!(decoded->value == settings.tree)) {
      state.SkipWithError("the stream does not decode to the generated tree");
      break;
    }
    state.counters["stream_MB"] = static_cast<double>(settings.stream.size()) / (1 << 20);
    state.counters["tree_MB"] = static_cast<double>(after - before) / (1 << 20);
    state.counters["tree_x_stream"] =
        static_cast<double>(after - before) / static_cast<double>(settings.stream.size());
    state.counters["root_members"] = static_cast<double>(settings.root_members);
    state.counters["shared_strings_pct"] = 100.0 * static_cast<double>(settings.shared_strings) /
                                           static_cast<double>(settings.strings);
  }
}
BENCHMARK(decoded_tree_memory)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

// The one main of the bench_codec binary, which also holds the JSON bridge benchmarks.
int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // Keep freed trees inside the process. Otherwise glibc hands the pages of each released tree
  // back to the kernel, and every iteration measures the kernel zeroing fresh pages (very slow
  // under virtualisation, and varying with the heap's layout) rather than the codec.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
