// The API's endpoints, each a function from what a request carries to its reply. The router
// (ui_app.hpp) has checked the request's origin and token before any of them runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "orvane/core/platform.hpp"
#include "orvane/ui/desktop.hpp"
#include "orvane/ui/http_message.hpp"
#include "orvane/ui/url_query.hpp"

namespace orvane::ui {

// GET /api/folders: the folder given on the command line, then the settings folders found.
HttpResponse get_folders(Platform& platform, Desktop& desktop,
                         const std::optional<std::string>& start_folder);
// GET /api/browse?path=P: the subfolders of P, for picking a folder by hand.
HttpResponse get_browse(Platform& platform, Desktop& desktop, const RequestTarget& target);
// GET /api/accounts?folder=F: every account file of F with its formations.
HttpResponse get_accounts(Platform& platform, Desktop& desktop, const RequestTarget& target);
// POST /api/apply: previews or applies formations to accounts, each target on its own, against
// the versions the page showed.
HttpResponse post_apply(Platform& platform, Desktop& desktop, std::string_view body);
// POST /api/account-name: gives an account of a folder a name of the player's, or takes it away.
HttpResponse post_account_name(Platform& platform, Desktop& desktop, std::string_view body);
// POST /api/edit: removes and renames formations of one account, against the version the page
// showed, in one write.
HttpResponse post_edit(Platform& platform, Desktop& desktop, std::string_view body);
// POST /api/restore: puts accounts back from their backups or from restore points.
HttpResponse post_restore(Platform& platform, Desktop& desktop, std::string_view body);
// GET /api/restore-points?folder=F&account=A: an account's restore points, newest first.
HttpResponse get_restore_points(Platform& platform, Desktop& desktop, const RequestTarget& target);
// GET /api/info: the limits the page shows.
HttpResponse get_info();
// GET /api/package?folder=F&account=A[&ids=1,3]: the package file `export` would write.
HttpResponse get_package(Platform& platform, Desktop& desktop, const RequestTarget& target);
// POST /api/package: one package of the formations picked, as apply takes them.
HttpResponse post_package(Platform& platform, Desktop& desktop, std::string_view body);
// POST /api/read-package: the formations of a package file the player picked.
HttpResponse post_read_package(std::string_view body);

}  // namespace orvane::ui
