// The formations a request picks, as apply and the package download both take them: from the
// folder's accounts by account and id, or from a package file's text by their numbers in it.
#pragma once

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>
#include <string_view>
#include <vector>

#include "account_index.hpp"
#include "account_read.hpp"
#include "orvane/core/package.hpp"
#include "orvane/core/platform.hpp"
#include "orvane/ui/api_json.hpp"

namespace orvane::ui {

// The name of the file the player picked, for the errors about it; absent, the errors name none.
Result<std::string, ApiError> optional_file_name(const boost::json::object& request);

// `picks` is [{"account", "id"}...]; the formations come in the order of the picks. With
// `shown`, each pick also names the formation ({"account", "id", "name"}) and each account is
// read afresh: one that is not as the page showed it, or whose id now holds another name,
// refuses the whole request, so that no formation the player did not see is written anywhere.
Result<std::vector<Formation>, ApiError> formations_from_accounts(
    Platform& platform, const AccountIndex& index, const boost::json::value& picks,
    const ShownVersions* shown = nullptr);

// A package file's text, read strictly as the command line reads the file: bad_package when it
// does not read, unsupported_package when it is of another kind. The errors end with the file's
// name when there is one; an account's settings file is named as such.
Result<Package, ApiError> read_package_text(std::string_view text, std::string_view file_name);

// A package sent as its text or as its JSON and, if `pick` is given, the numbers of the
// formations to take from it, in the order to take them.
Result<std::vector<Formation>, ApiError> formations_from_package(const boost::json::value& package,
                                                                 const boost::json::value* pick,
                                                                 std::string_view file_name);

}  // namespace orvane::ui
