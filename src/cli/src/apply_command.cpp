#include <string>
#include <vector>

#include "orvane/cli/commands.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/apply_formations.hpp"

namespace orvane {

Result<void, std::string> run_apply(Platform& platform, const std::string& package_path,
                                    const std::vector<std::string>& target_paths) {
  Package package;
  {
    auto bytes = platform.read_file(package_path);
    if (!bytes) return unexpected(platform.os_error_text(bytes.error()));
    auto accepted = read_accepted_package(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (!accepted) return accepted.take_error();
    package = std::move(*accepted);
  }
  for (const std::string& target : target_paths) {
    auto merged = apply_formations(platform, target, package.formations, ApplyMode::Write);
    if (!merged) return merged.take_error();
    // The line is printed only once the target has been written.
    const std::string account = account_label(target).value_or("unknown");
    if (auto printed = print_output(platform, "Added " + std::to_string(merged->added) +
                                                  " formation(s) to account " + account + "\n");
        !printed) {
      return printed;
    }
  }
  return {};
}

}  // namespace orvane
