#include <algorithm>
#include <boost/json.hpp>

#include "api_endpoints.hpp"
#include "folder_path.hpp"
#include "folder_search.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/ui/api_json.hpp"

namespace orvane::ui {

namespace json = boost::json;

HttpResponse get_folders(Platform& platform, Desktop& desktop,
                         const std::optional<std::string>& start_folder) {
  std::vector<std::string> folders;
  if (start_folder) folders.push_back(*start_folder);
  for (std::string& found :
       find_settings_folders(platform, desktop, settings_search_roots(platform, desktop))) {
    if (std::find(folders.begin(), folders.end(), found) == folders.end()) {
      folders.push_back(std::move(found));
    }
  }
  json::array list;
  for (const std::string& folder : folders) list.push_back(text_value(folder));
  json::value home = nullptr;
  if (auto folder = desktop.home_folder()) home = text_value(*folder);
  return json_reply(json::object{{"folders", std::move(list)}, {"home", std::move(home)}});
}

// An empty path is the top: the drives where the system has them, "/" elsewhere. Besides the
// subfolders the reply tells how many account files the folder holds, so the page can say
// whether it is a settings folder.
HttpResponse get_browse(Platform& platform, Desktop& desktop, const RequestTarget& target) {
  const auto given = target.query.find("path");
  std::string path = given == target.query.end()
                         ? std::string()
                         : understood_folder(given->second, folder_places(desktop));
  const std::vector<std::string> drives = desktop.drives();
  json::array folders;
  json::value parent = nullptr;
  std::size_t account_files = 0;
  if (path.empty() && !drives.empty()) {
    for (const std::string& drive : drives) {
      folders.push_back(json::object{{"name", text_value(drive)}, {"path", text_value(drive)}});
    }
  } else {
    if (path.empty()) path.assign(1, '/');
    auto entries = platform.list_directory(path);
    if (!entries) {
      return error_reply(
          ApiError{ErrorCode::FolderUnreadable,
                   "folder " + path + ": " + platform.os_error_text(entries.error())});
    }
    std::sort(entries->begin(), entries->end());
    for (const std::string& name : *entries) {
      if (is_account_file_name(name)) ++account_files;
      const std::string child = platform.join_path(path, name);
      const PathKind kind = desktop.path_kind(child);
      if (kind != PathKind::Folder && kind != PathKind::FolderLink) continue;
      folders.push_back(json::object{{"name", text_value(name)}, {"path", text_value(child)}});
    }
    // Above the top of a system without drives there is nothing to go to.
    std::string up = desktop.parent_folder(path);
    if (!up.empty() || !drives.empty()) parent = text_value(up);
  }
  return json_reply(json::object{{"path", text_value(path)},
                                 {"parent", std::move(parent)},
                                 {"folders", std::move(folders)},
                                 {"account_files", account_files}});
}

}  // namespace orvane::ui
