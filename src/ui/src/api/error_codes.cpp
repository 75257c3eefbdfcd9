#include "orvane/ui/error_codes.hpp"

namespace orvane::ui {

std::string_view error_code_name(ErrorCode code) {
  switch (code) {
    case ErrorCode::BadRequest:
      return "bad_request";
    case ErrorCode::Forbidden:
      return "forbidden";
    case ErrorCode::NotFound:
      return "not_found";
    case ErrorCode::MethodNotAllowed:
      return "method_not_allowed";
    case ErrorCode::TooLarge:
      return "too_large";
    case ErrorCode::HeadersTooLarge:
      return "headers_too_large";
    case ErrorCode::ServerError:
      return "server_error";
    case ErrorCode::NoSuchAccount:
      return "no_such_account";
    case ErrorCode::NoSuchFormation:
      return "no_such_formation";
    case ErrorCode::NoSuchRestorePoint:
      return "no_such_restore_point";
    case ErrorCode::FolderUnreadable:
      return "folder_unreadable";
    case ErrorCode::BadPackage:
      return "bad_package";
    case ErrorCode::UnsupportedPackage:
      return "unsupported_package";
    case ErrorCode::NameEmpty:
      return "name_empty";
    case ErrorCode::NameTooLong:
      return "name_too_long";
    case ErrorCode::NameControlCharacter:
      return "name_control_character";
    case ErrorCode::NameTaken:
      return "name_taken";
    case ErrorCode::ChangedOnDisk:
      return "changed_on_disk";
    case ErrorCode::ReadFailed:
      return "read_failed";
    case ErrorCode::NotARegularFile:
      return "not_a_regular_file";
    case ErrorCode::NotASettingsFile:
      return "not_a_settings_file";
    case ErrorCode::OutsideFolder:
      return "outside_folder";
    case ErrorCode::NoBackup:
      return "no_backup";
    case ErrorCode::OverLimit:
      return "over_limit";
    case ErrorCode::NoFreeId:
      return "no_free_id";
    case ErrorCode::BackupFailed:
      return "backup_failed";
    case ErrorCode::EncodeFailed:
      return "encode_failed";
    case ErrorCode::WriteFailed:
      return "write_failed";
    case ErrorCode::RestorePointFailed:
      return "restore_point_failed";
  }
  return "server_error";
}

unsigned error_code_status(ErrorCode code) {
  switch (code) {
    case ErrorCode::Forbidden:
      return 403;
    case ErrorCode::NotFound:
      return 404;
    case ErrorCode::MethodNotAllowed:
      return 405;
    case ErrorCode::ChangedOnDisk:
      return 409;
    case ErrorCode::TooLarge:
      return 413;
    case ErrorCode::HeadersTooLarge:
      return 431;
    case ErrorCode::ServerError:
    case ErrorCode::BackupFailed:
    case ErrorCode::EncodeFailed:
    case ErrorCode::WriteFailed:
    case ErrorCode::RestorePointFailed:
      return 500;
    case ErrorCode::BadRequest:
    case ErrorCode::NoSuchAccount:
    case ErrorCode::NoSuchFormation:
    case ErrorCode::NoSuchRestorePoint:
    case ErrorCode::FolderUnreadable:
    case ErrorCode::BadPackage:
    case ErrorCode::UnsupportedPackage:
    case ErrorCode::NameEmpty:
    case ErrorCode::NameTooLong:
    case ErrorCode::NameControlCharacter:
    case ErrorCode::NameTaken:
    case ErrorCode::ReadFailed:
    case ErrorCode::NotARegularFile:
    case ErrorCode::NotASettingsFile:
    case ErrorCode::OutsideFolder:
    case ErrorCode::NoBackup:
    case ErrorCode::OverLimit:
    case ErrorCode::NoFreeId:
      return 400;
  }
  return 500;
}

ErrorCode error_code_of_status(unsigned status) {
  switch (status) {
    case 403:
      return ErrorCode::Forbidden;
    case 404:
      return ErrorCode::NotFound;
    case 405:
      return ErrorCode::MethodNotAllowed;
    case 409:
      return ErrorCode::ChangedOnDisk;
    case 413:
      return ErrorCode::TooLarge;
    case 431:
      return ErrorCode::HeadersTooLarge;
    default:
      return status >= 500 ? ErrorCode::ServerError : ErrorCode::BadRequest;
  }
}

}  // namespace orvane::ui
