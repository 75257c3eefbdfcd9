// The listing's selective decode against the whole one on arbitrary bytes: the same formations,
// count and selected id, or the same error. The corpus starts from the codec's corpora and the
// example accounts, so shared objects, checksums and the formations' shape all come up.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "helpers/listing_equivalence.hpp"
#include "read_options.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string mismatch = orvane::testing::listing_mismatch(
      std::span<const std::uint8_t>(data, size), marshal::fuzzing::READ_OPTIONS);
  if (!mismatch.empty()) {
    std::fprintf(stderr, "%s\n", mismatch.c_str());
    std::abort();
  }
  return 0;
}
