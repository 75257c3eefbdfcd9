#include "account_change.hpp"

#include "account_read.hpp"
#include "orvane/core/content_version.hpp"
#include "orvane/core/guarded_write.hpp"
#include "orvane/core/settings.hpp"

namespace orvane::ui {

Result<ChangeMade, ApiError> change_account(Platform& platform, RestorePointStore& store,
                                            const AccountChange& change) {
  if (auto inside = check_inside_folder(platform, change.folder, change.file); !inside) {
    return inside.take_error();
  }
  ChangeMade made;
  if (auto kept = store.keep(change.folder, change.file.account, change.current, change.reason)) {
    made.point = std::move(*kept);
  } else {
    made.point_error = ApiError{ErrorCode::RestorePointFailed, kept.error()};
  }
  if (change.back_up_beside) {
    if (auto backed_up = backup_settings(platform, change.file.path); !backed_up) {
      return refused(ErrorCode::BackupFailed, backed_up.error());
    }
  }
  auto written =
      write_settings_file_if_unchanged(platform, change.file.path, change.current, change.next);
  if (!written) {
    switch (written.error().failure) {
      case GuardedWriteFailure::Changed:
        return unexpected(changed_on_disk(change.file.account, "just before it was written"));
      case GuardedWriteFailure::Write:
        break;
    }
    return refused(ErrorCode::WriteFailed, written.error().text);
  }
  made.version = content_version(change.next);
  return made;
}

void set_restore_point(boost::json::object& entry, const ChangeMade* made) {
  entry["restore_point"] = nullptr;
  entry["restore_point_error"] = nullptr;
  if (made == nullptr) return;
  if (made->point) {
    entry["restore_point"] = boost::json::object{{"id", made->point->id},
                                                 {"time", made->point->time},
                                                 {"reason", text_value(made->point->reason)},
                                                 {"version", made->point->version}};
  }
  if (made->point_error) {
    entry["restore_point_error"] =
        boost::json::object{{"error", text_value(made->point_error->message)},
                            {"error_code", error_code_name(made->point_error->code)}};
  }
}

}  // namespace orvane::ui
