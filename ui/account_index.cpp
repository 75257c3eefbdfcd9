#include "account_index.hpp"

#include <utility>

namespace orvane::ui {

Result<AccountIndex, ApiError> AccountIndex::open(Platform& platform, const std::string& folder) {
  if (folder.empty()) return bad_request("no settings folder is chosen");
  auto files = list_account_files(platform, folder);
  if (!files) return bad_request(files.error());
  AccountIndex index;
  index.files_ = std::move(*files);
  return index;
}

Result<const AccountFile*, ApiError> AccountIndex::find(std::string_view account) const {
  for (const AccountFile& file : files_) {
    if (file.account == account) return &file;
  }
  return bad_request("the folder has no account \"" + std::string(account) + "\"");
}

ApiError no_such_formation(std::string_view account, std::int64_t id) {
  return {STATUS_BAD_REQUEST,
          "account " + std::string(account) + " holds no formation with id " + std::to_string(id)};
}

}  // namespace orvane::ui
