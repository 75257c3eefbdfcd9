// Throughput of the tagged JSON bridge on the 16 MB settings-shaped tree, in stream bytes per
// second, the whole load-edit-save pipeline, and the JSON tree's memory as a multiple of the
// stream's size.
#include <benchmark/benchmark.h>

#include <boost/json/monotonic_resource.hpp>
#include <cstdint>
#include <optional>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "heap_usage.hpp"
#include "marshal/json.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"
#include "settings_generator.hpp"

namespace {

using orvane::bench::codec_bench_settings;

void set_stream_bytes(benchmark::State& state) {
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * codec_bench_settings().stream.size()));
}

// Each result is released only after the next one is built. Freed whole, a tree lets glibc hand
// its pages back to the system, and the next conversion would mostly time the page faults of
// taking them again (a plain deep copy of the value tree fares the same).
void value_to_json_16mb(benchmark::State& state) {
  const marshal::MarshalValue& tree = codec_bench_settings().tree;
  marshal::JsonValue previous;
  for (auto _ : state) {
    marshal::JsonValue json = marshal::value_to_json(tree);
    benchmark::DoNotOptimize(json);
    state.PauseTiming();
    previous = std::move(json);
    state.ResumeTiming();
  }
  set_stream_bytes(state);
}
BENCHMARK(value_to_json_16mb)->Unit(benchmark::kMillisecond);

// Into one monotonic arena per conversion, freed as a whole with the tree.
void value_to_json_monotonic_16mb(benchmark::State& state) {
  const marshal::MarshalValue& tree = codec_bench_settings().tree;
  for (auto _ : state) {
    boost::json::monotonic_resource arena;
    marshal::JsonValue json = marshal::value_to_json(tree, &arena);
    benchmark::DoNotOptimize(json);
  }
  set_stream_bytes(state);
}
BENCHMARK(value_to_json_monotonic_16mb)->Unit(benchmark::kMillisecond);

void json_to_value_16mb(benchmark::State& state) {
  const marshal::JsonValue json = marshal::value_to_json(codec_bench_settings().tree);
  std::optional<marshal::MarshalValue> previous;
  for (auto _ : state) {
    auto value = marshal::json_to_value(json);
    if (!value) {
      state.SkipWithError(value.error().message().c_str());
      break;
    }
    benchmark::DoNotOptimize(*value);
    state.PauseTiming();
    previous = std::move(*value);
    state.ResumeTiming();
  }
  set_stream_bytes(state);
}
BENCHMARK(json_to_value_16mb)->Unit(benchmark::kMillisecond);

// What the tool does to one settings file: bytes to tree to JSON, JSON back to tree to bytes,
// every tree released on the way. With argument 1 the JSON tree lives in a monotonic arena, which
// spares the release of its nodes one by one.
void pipeline_16mb(benchmark::State& state) {
  const auto& stream = codec_bench_settings().stream;
  const bool use_arena = state.range(0) != 0;
  for (auto _ : state) {
    std::optional<boost::json::monotonic_resource> arena;
    boost::json::storage_ptr storage;
    if (use_arena) storage = &arena.emplace();
    marshal::JsonValue json;
    {
      auto decoded = marshal::read_marshal(stream);
      if (!decoded) {
        state.SkipWithError(decoded.error().message().c_str());
        break;
      }
      json = marshal::value_to_json(decoded->value, storage);
    }
    auto value = marshal::json_to_value(json);
    if (!value) {
      state.SkipWithError(value.error().message().c_str());
      break;
    }
    auto bytes = marshal::write_marshal(*value, marshal::EncodeOptions{true, 1});
    if (!bytes) {
      state.SkipWithError(bytes.error().message().c_str());
      break;
    }
    benchmark::DoNotOptimize(bytes->data());
  }
  set_stream_bytes(state);
}
BENCHMARK(pipeline_16mb)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#if defined(__GLIBC__)
// One conversion, kept alive while the heap is measured. Also checks that the JSON survives the
// way back (the generator may repeat a key within a dictionary, which the JSON keeps once, so the
// JSON is compared rather than the value tree).
void json_tree_memory(benchmark::State& state) {
  const auto& settings = codec_bench_settings();
  for (auto _ : state) {
    const std::size_t before = heap_in_use();
    const marshal::JsonValue json = marshal::value_to_json(settings.tree);
    const std::size_t after = heap_in_use();
    const auto back = marshal::json_to_value(json);
    if (!back || !(marshal::value_to_json(*back) == json)) {
      state.SkipWithError("the JSON does not survive the conversion back");
      break;
    }
    state.counters["json_MB"] = static_cast<double>(after - before) / (1 << 20);
    state.counters["json_x_stream"] =
        static_cast<double>(after - before) / static_cast<double>(settings.stream.size());
  }
}
BENCHMARK(json_tree_memory)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
