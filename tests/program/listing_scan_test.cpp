// The listing's selective decode against the whole decode on every settings-like file the
// project holds: the example accounts, the fuzz corpora and the shared test data when it is
// there. Each must list the same formations, or fail with the same text, both in the codec and
// through the settings pipeline's error texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "helpers/listing_equivalence.hpp"
#include "orvane/core/settings.hpp"
#include "orvane/core/settings_view.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every regular file below `folder`, or none when it is not there.
std::vector<fs::path> files_below(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return found;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec)) found.push_back(it->path());
  }
  return found;
}

std::string pipeline_mismatch(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  const auto whole = decode_settings(bytes, path);
  const auto view = decode_settings_view(bytes, path);
  if (!whole || !view) {
    const std::string a = whole ? "a tree" : whole.error();
    const std::string b = view ? "a view" : view.error();
    return a == b ? "" : "load_settings: " + a + "\nview: " + b;
  }
  if (whole->has_crc != view->has_crc) return "checksum flags differ";
  const std::string a = testing::listing_text(whole->tree);
  const std::string b = testing::listing_text(view->tree);
  return a == b ? "" : "load_settings lists:\n" + a + "view lists:\n" + b;
}

TEST(ListingScan, ListsEveryProjectFileAsTheWholeDecode) {
  const fs::path source(ORVANE_SOURCE_DIR);
  std::vector<fs::path> folders = {source / "examples" / "settings_Default",
                                   source / "fuzz" / "corpus"};
  if (const char* shared = std::getenv("ORVANE_TESTDATA")) folders.emplace_back(shared);
  std::size_t read = 0;
  std::size_t listed = 0;
  for (const fs::path& folder : folders) {
    for (const fs::path& path : files_below(folder)) {
      SCOPED_TRACE(path.string());
      const std::vector<std::uint8_t> bytes = file_bytes(path);
      EXPECT_EQ(testing::listing_mismatch(bytes), "");
      EXPECT_EQ(pipeline_mismatch(bytes, path.string()), "");
      ++read;
      if (decode_settings_view(bytes, path.string())) ++listed;
    }
  }
  // The examples and the corpora are committed: finding none means the test looked elsewhere.
  EXPECT_GT(read, 100u);
  EXPECT_GE(listed, 4u);
}

}  // namespace
}  // namespace orvane
