#include "orvane/core/apply_formations.hpp"

#include "orvane/core/settings.hpp"

namespace orvane {

Result<Package, std::string> read_accepted_package(std::string_view text) {
  auto package = read_package_json(text);
  if (!package) return unexpected("package: " + package.error());
  if (!is_accepted_package(*package)) {
    return unexpected(std::string("unsupported formation package"));
  }
  return package;
}

bool is_accepted_package(const Package& package) {
  return package.format == PACKAGE_FORMAT && package.version == PACKAGE_VERSION;
}

Result<MergeOutcome, std::string> apply_formations(Platform& platform, const std::string& target,
                                                   const std::vector<Formation>& formations,
                                                   ApplyMode mode) {
  auto loaded = load_settings(platform, target);
  if (!loaded) return loaded.take_error();
  auto back_up = [&] { return backup_settings(platform, target); };
  if (mode == ApplyMode::Write) {
    if (auto backed_up = back_up(); !backed_up) return backed_up.take_error();
  }
  auto merged = merge_formations(loaded->tree, formations, platform.now_filetime());
  if (!merged) return merged.take_error();
  if (mode == ApplyMode::WriteWhenMerged) {
    if (auto backed_up = back_up(); !backed_up) return backed_up.take_error();
  }
  if (mode != ApplyMode::Preview) {
    if (auto saved =
            save_settings(platform, target, loaded->tree, loaded->has_crc, loaded->file_size);
        !saved) {
      return saved.take_error();
    }
  }
  return merged;
}

}  // namespace orvane
