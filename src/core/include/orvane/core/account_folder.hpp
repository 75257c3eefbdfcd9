// The account files of a settings folder, as `accounts` lists them: the entries whose names are
// account file names, sorted by name.
#pragma once

#include <string>
#include <vector>

#include "orvane/core/platform.hpp"

namespace orvane {

struct AccountFile {
  std::string file;     // the entry's name, such as core_user_1001.dat
  std::string path;     // the folder joined with that name
  std::string account;  // account_label of the path, possibly empty
};

// Sorted by file name in byte order; an entry's type is not examined. Fails with
// "settings directory: {os error text}" when the folder cannot be listed.
Result<std::vector<AccountFile>, std::string> list_account_files(Platform& platform,
                                                                 const std::string& folder);

}  // namespace orvane
