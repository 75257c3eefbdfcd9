// Stands in for libFuzzer where it is not available: runs the fuzz target once on every file
// named on the command line and on every file in the directories named there, so a compiler
// without libFuzzer still replays the committed corpus as an ordinary test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool replay_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.string().c_str());
    return false;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

// The files of `dir` in name order, so runs are repeatable; subdirectories are not entered.
bool list_files(const fs::path& dir, std::vector<fs::path>& files) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) {
    std::fprintf(stderr, "replay: cannot list %s: %s\n", dir.string().c_str(),
                 ec.message().c_str());
    return false;
  }
  std::sort(files.begin(), files.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: replay <file-or-directory>...\n", stderr);
    return 2;
  }
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path path(argv[i]);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
      std::fprintf(stderr, "replay: %s does not exist\n", argv[i]);
      return 1;
    }
    std::vector<fs::path> files;
    if (fs::is_directory(status)) {
      if (!list_files(path, files)) return 1;
    } else {
      files.push_back(path);
    }
    for (const auto& file : files) {
      if (!replay_file(file)) return 1;
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return 0;
}
