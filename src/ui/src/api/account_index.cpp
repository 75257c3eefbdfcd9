#include "account_index.hpp"

#include <utility>

#include "folder_path.hpp"

namespace orvane::ui {

Result<AccountIndex, ApiError> AccountIndex::open(Platform& platform, Desktop& desktop,
                                                  const std::string& folder) {
  std::string understood = understood_folder(folder, folder_places(desktop));
  if (understood.empty()) return bad_request("no settings folder is chosen");
  auto files = list_account_files(platform, understood);
  if (!files) return refused(ErrorCode::FolderUnreadable, files.error() + " (" + understood + ")");
  AccountIndex index;
  index.folder_ = std::move(understood);
  index.files_ = std::move(*files);
  return index;
}

Result<const AccountFile*, ApiError> AccountIndex::find(std::string_view account) const {
  for (const AccountFile& file : files_) {
    if (file.account == account) return &file;
  }
  return refused(ErrorCode::NoSuchAccount,
                 "the folder has no account \"" + std::string(account) + "\"");
}

Result<std::vector<const AccountFile*>, ApiError> AccountIndex::find_all(
    const std::vector<std::string>& accounts) const {
  std::vector<const AccountFile*> files;
  for (const std::string& account : accounts) {
    auto file = find(account);
    if (!file) return file.take_error();
    files.push_back(*file);
  }
  return files;
}

ApiError no_such_formation(std::string_view account, std::int64_t id) {
  return {ErrorCode::NoSuchFormation,
          "account " + std::string(account) + " holds no formation with id " + std::to_string(id)};
}

}  // namespace orvane::ui
