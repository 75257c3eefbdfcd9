#include "orvane/core/apply_formations.hpp"

#include <cstdint>
#include <optional>
#include <utility>

#include "beside_thread.hpp"
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

// The backup's copy and sync take about as long as the merge and the encoding, and need
// nothing from them, so the two run side by side and meet before the target is opened. The
// backup stays on this thread with the target's write: every step that keeps a whole copy on the
// disk is then made by one thread, in the order docs/DESIGN.md gives.
Result<MergeOutcome, std::string> apply_formations(Platform& platform, const std::string& target,
                                                   const std::vector<Formation>& formations,
                                                   ApplyMode mode) {
  auto loaded = load_settings(platform, target);
  if (!loaded) return loaded.take_error();
  const std::uint64_t now = platform.now_filetime();
  if (mode == ApplyMode::Preview) return merge_formations(loaded->tree, formations, now);

  std::optional<Result<MergeOutcome, std::string>> merged;
  Result<support::UnclearedBytes, std::string> encoded = unexpected(std::string());
  Result<void, std::string> backed_up;
  const auto back_up = [&] { backed_up = backup_settings(platform, target); };
  const auto encode = [&] {
    encoded = encode_settings(loaded->tree, loaded->has_crc, loaded->file_size);
  };
  if (mode == ApplyMode::Write) {
    // Backed up whatever the merge then says, as when the merge came after the backup.
    run_beside(back_up, [&] {
      merged.emplace(merge_formations(loaded->tree, formations, now));
      if (*merged) encode();
    });
    if (!backed_up) return backed_up.take_error();
    if (!*merged) return merged->take_error();
  } else {
    merged.emplace(merge_formations(loaded->tree, formations, now));
    if (!*merged) return merged->take_error();
    run_beside(back_up, encode);
    if (!backed_up) return backed_up.take_error();
  }
  if (!encoded) return encoded.take_error();
  if (auto written = write_settings_file(platform, target, *encoded); !written) {
    return written.take_error();
  }
  return std::move(*merged);
}

}  // namespace orvane
