// The accounts of the folder a request names. A request names an account by its label alone, and
// only labels of the folder's own account files are found: the file to touch is always one the
// listing returned, never a path made from the request's text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/account_folder.hpp"
#include "orvane/core/platform.hpp"
#include "orvane/ui/api_json.hpp"
#include "orvane/ui/desktop.hpp"

namespace orvane::ui {

class AccountIndex {
 public:
  // The folder as the player typed it (folder_path.hpp). Fails with the `accounts` command's
  // "settings directory: ..." text, followed by the folder tried, when it cannot be listed.
  static Result<AccountIndex, ApiError> open(Platform& platform, Desktop& desktop,
                                             const std::string& folder);

  // The folder listed, as the system names it.
  const std::string& folder() const { return folder_; }
  const std::vector<AccountFile>& files() const { return files_; }
  // The account file with that label, or a refusal naming the account.
  Result<const AccountFile*, ApiError> find(std::string_view account) const;
  // Every account named, in order; refused as a whole when one is not the folder's.
  Result<std::vector<const AccountFile*>, ApiError> find_all(
      const std::vector<std::string>& accounts) const;

 private:
  std::string folder_;
  std::vector<AccountFile> files_;
};

// The refusal of a request that names a formation the account does not hold.
ApiError no_such_formation(std::string_view account, std::int64_t id);

}  // namespace orvane::ui
