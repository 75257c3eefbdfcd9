#include <string>
#include <vector>

#include "commands.hpp"
#include "formations.hpp"
#include "package.hpp"
#include "settings.hpp"

namespace orvane {
namespace {

Result<Package, std::string> read_checked_package(Platform& platform,
                                                  const std::string& package_path) {
  auto bytes = platform.read_file(package_path);
  if (!bytes) return unexpected(platform.os_error_text(bytes.error()));
  const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  auto package = read_package_json(text);
  if (!package) return unexpected("package: " + package.error());
  if (package->format != PACKAGE_FORMAT || package->version != PACKAGE_VERSION) {
    return unexpected(std::string("unsupported formation package"));
  }
  return package;
}

// Load, back up, merge, save, report: the backup is taken before anything can go wrong with
// the edit, and the line is printed only once the target has been written.
Result<void, std::string> apply_to_target(Platform& platform, const Package& package,
                                          const std::string& target) {
  auto loaded = load_settings(platform, target);
  if (!loaded) return loaded.take_error();
  if (auto backed_up = backup_settings(platform, target); !backed_up) return backed_up;
  auto merged = merge_formations(loaded->tree, package.formations, platform.now_filetime());
  if (!merged) return merged.take_error();
  if (auto saved =
          save_settings(platform, target, loaded->tree, loaded->has_crc, loaded->file_size);
      !saved) {
    return saved.take_error();
  }
  const std::string account = account_label(target).value_or("unknown");
  return print_output(platform, "Added " + std::to_string(merged->added) +
                                    " formation(s) to account " + account + "\n");
}

}  // namespace

Result<void, std::string> run_apply(Platform& platform, const std::string& package_path,
                                    const std::vector<std::string>& target_paths) {
  auto package = read_checked_package(platform, package_path);
  if (!package) return package.take_error();
  for (const std::string& target : target_paths) {
    if (auto applied = apply_to_target(platform, *package, target); !applied) return applied;
  }
  return {};
}

}  // namespace orvane
