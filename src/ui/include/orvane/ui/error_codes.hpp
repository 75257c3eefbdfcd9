// The stable codes of the API's errors. The page picks its advice by code alone, so a code keeps
// its word and its meaning once shipped; the texts beside them may change. docs/DESIGN.md lists
// each with its meaning.
#pragma once

#include <string_view>

namespace orvane::ui {

enum class ErrorCode {
  // The request as a whole.
  BadRequest,
  Forbidden,
  NotFound,
  MethodNotAllowed,
  TooLarge,
  HeadersTooLarge,
  ServerError,
  NoSuchAccount,
  NoSuchFormation,
  NoSuchRestorePoint,
  FolderUnreadable,
  BadPackage,
  UnsupportedPackage,
  // A name the player typed, for a formation or an account.
  NameEmpty,
  NameTooLong,
  NameControlCharacter,
  NameTaken,
  // One account, or the whole request when it reads that account's formations.
  ChangedOnDisk,
  ReadFailed,
  NotARegularFile,
  NotASettingsFile,
  OutsideFolder,
  NoBackup,
  OverLimit,
  NoFreeId,
  BackupFailed,
  EncodeFailed,
  WriteFailed,
  RestorePointFailed,
};

// The lower_snake word sent as "error_code".
std::string_view error_code_name(ErrorCode code);
// The HTTP status of a request refused with this code.
unsigned error_code_status(ErrorCode code);
// The code of a refusal known only by its status, as the server makes them.
ErrorCode error_code_of_status(unsigned status);

}  // namespace orvane::ui
