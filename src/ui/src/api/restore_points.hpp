// The restore points of the window program: before it rewrites an account, the file as it was
// is kept in a store of the program's own, in its data folder and never in a settings folder,
// so any change the page made can be undone, a restore included. The newest RESTORE_POINTS_KEPT
// of each account are kept. A store that is missing or damaged only means fewer points: it never
// stops a listing, an apply or a restore from the backup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "orvane/core/platform.hpp"
#include "orvane/ui/api_json.hpp"
#include "orvane/ui/desktop.hpp"

namespace orvane::ui {

inline constexpr std::size_t RESTORE_POINTS_KEPT = 20;

struct RestorePoint {
  std::string id;       // sorts as the points were made
  std::string time;     // UTC, such as 2026-12-10T12:34:56Z
  std::string reason;   // such as "before adding Pinpoint Cluster, Relic Ring"
  std::string version;  // content_version of the bytes kept
};

class RestorePointStore {
 public:
  RestorePointStore(Platform& platform, Desktop& desktop)
      : platform_(platform), desktop_(desktop) {}

  // Keeps `bytes` as the account's newest point and removes those past the newest
  // RESTORE_POINTS_KEPT. The error text names what failed.
  Result<RestorePoint, std::string> keep(const std::string& folder, const std::string& account,
                                         std::span<const std::uint8_t> bytes,
                                         const std::string& reason);
  // Newest first; points that cannot be read are left out.
  std::vector<RestorePoint> list(const std::string& folder, const std::string& account);
  // The bytes of one of the account's points: no_such_restore_point for an id the listing does
  // not give, read_failed for a point whose bytes are no longer what was kept.
  Result<support::UnclearedBytes, ApiError> read(const std::string& folder,
                                                 const std::string& account, const std::string& id);

 private:
  // The folder of the account's points, below the program's data folder.
  std::optional<std::string> account_folder(const std::string& folder, const std::string& account);
  std::optional<RestorePoint> read_point(const std::string& points, const std::string& id);

  Platform& platform_;
  Desktop& desktop_;
};

// "2026-12-10T12:34:56Z" for a FILETIME.
std::string utc_time_text(std::uint64_t filetime);

}  // namespace orvane::ui
