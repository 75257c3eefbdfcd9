// make_bench_settings <size-in-MB> <out-path>: writes a generated settings file of about that
// size, for the command benchmarks.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "settings_generator.hpp"

int main(int argc, char** argv) {
  std::size_t megabytes = 0;
  const std::string_view size_arg = argc == 3 ? argv[1] : "";
  const auto [end, ec] =
      std::from_chars(size_arg.data(), size_arg.data() + size_arg.size(), megabytes);
  if (argc != 3 || ec != std::errc() || end != size_arg.data() + size_arg.size() ||
      megabytes == 0 || megabytes > 4096) {
    std::fputs("usage: make_bench_settings <size-in-MB> <out-path>\n", stderr);
    return 2;
  }
  const auto stream = orvane::bench::generate_settings_stream(megabytes << 20);
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(stream.data()),
             static_cast<std::streamsize>(stream.size()));
  file.close();
  if (!file) {
    std::fprintf(stderr, "make_bench_settings: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("%zu bytes written to %s\n", stream.size(), argv[2]);
  return 0;
}
