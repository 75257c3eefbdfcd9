// The formation records and the package file through which formations travel between
// accounts: written pretty-printed byte for byte, read strictly with line and column in errors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/result.hpp"

namespace orvane {

using support::Result;
using support::unexpected;
using support::Unexpected;

inline constexpr std::string_view PACKAGE_FORMAT = "kelvo-probe-formations";
inline constexpr std::uint32_t PACKAGE_VERSION = 1;

struct Probe {
  double x = 0;
  double y = 0;
  double z = 0;
  double range = 0;
  friend bool operator==(const Probe&, const Probe&) = default;
};

struct Formation {
  std::int64_t id = 0;
  std::string name;  // UTF-8, without a type prefix
  std::vector<Probe> probes;
  friend bool operator==(const Formation&, const Formation&) = default;
};

struct Package {
  std::string format;
  std::uint32_t version = 0;
  std::vector<Formation> formations;
  friend bool operator==(const Package&, const Package&) = default;
};

// The complete file content: two-space indented JSON, no trailing newline.
std::string write_package_json(const Package& package);
// An error is "<message> at line L column C".
Result<Package, std::string> read_package_json(std::string_view text);

}  // namespace orvane
