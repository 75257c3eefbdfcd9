// The four commands. Each prints its result lines through the platform and returns the first
// failure as an error text that already carries its context.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/platform.hpp"

namespace orvane {

Result<void, std::string> run_list(Platform& platform, const std::string& settings_path);
Result<void, std::string> run_export(Platform& platform, const std::string& settings_path,
                                     const std::string& package_path);
Result<void, std::string> run_apply(Platform& platform, const std::string& package_path,
                                    const std::vector<std::string>& target_paths);
Result<void, std::string> run_accounts(Platform& platform, const std::string& directory);

// Writes result lines to standard output. A failed write (closed pipe, full disk) ends the
// command like any other failure.
inline Result<void, std::string> print_output(Platform& platform, std::string_view text) {
  auto written = platform.write_stdout(text);
  if (!written)
    return unexpected("write standard output: " + platform.os_error_text(written.error()));
  return {};
}

}  // namespace orvane
