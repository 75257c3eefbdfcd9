// The package reader on arbitrary bytes: it must never crash, and whatever it accepts must come
// back unchanged through a write and a second read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "orvane/core/package.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto package = orvane::read_package_json(text);
  if (!package) return 0;
  const std::string written = orvane::write_package_json(*package);
  auto again = orvane::read_package_json(written);
  if (!again || !(*again == *package)) std::abort();
  // Equal records can still differ in the sign of a zero; the text cannot.
  if (orvane::write_package_json(*again) != written) std::abort();
  return 0;
}
