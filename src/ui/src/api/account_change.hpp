// One account rewritten by the page: never through a link that leads out of its folder, with a
// restore point of what it held kept first, and written only while it still holds the bytes the
// change was made from.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "orvane/core/account_folder.hpp"
#include "orvane/core/platform.hpp"
#include "orvane/ui/api_json.hpp"
#include "restore_points.hpp"

namespace orvane::ui {

struct AccountChange {
  const std::string& folder;
  const AccountFile& file;
  std::span<const std::uint8_t> current;  // what the account held when the change was made
  std::span<const std::uint8_t> next;     // what it is to hold
  std::string reason;                     // of the restore point, such as "before adding …"
  bool back_up_beside = false;            // replace the backup beside the file first, as apply does
};

struct ChangeMade {
  std::string version;  // of what the account now holds
  std::optional<RestorePoint> point;
  std::optional<ApiError> point_error;  // why no restore point could be kept
};

// Fails with outside_folder, backup_failed, changed_on_disk (nothing written) or write_failed.
Result<ChangeMade, ApiError> change_account(Platform& platform, RestorePointStore& store,
                                            const AccountChange& change);

// The "restore_point" and "restore_point_error" members of a result.
void set_restore_point(boost::json::object& entry, const ChangeMade* made);

}  // namespace orvane::ui
