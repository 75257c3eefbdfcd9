#include <boost/json.hpp>
#include <set>
#include <vector>

#include "account_index.hpp"
#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "apply_formations.hpp"
#include "formations.hpp"
#include "marshal/ascii.hpp"
#include "marshal/number_text.hpp"
#include "package.hpp"
#include "settings.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

// "1,3" as ids; an empty list means every formation.
Result<std::set<std::int64_t>, ApiError> parse_ids(std::string_view text) {
  std::set<std::int64_t> ids;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    const auto id = marshal::parse_int64(item);
    if (!id) return bad_request("\"ids\" must be formation ids separated by commas");
    ids.insert(*id);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return ids;
}

// A file name for the download made of the account's letters and digits only.
std::string download_name(std::string_view account) {
  std::string name = "formations-";
  for (const char c : account) {
    name += marshal::is_digit(c) || marshal::is_letter(c) ? c : '_';
  }
  return name + ".json";
}

}  // namespace

// The bytes `export` writes for the same formations, in the same order.
HttpResponse get_package(Platform& platform, const RequestTarget& target) {
  auto folder = query_member(target, "folder");
  if (!folder) return error_reply(folder.error());
  auto account = query_member(target, "account");
  if (!account) return error_reply(account.error());
  const auto ids_text = target.query.find("ids");
  auto ids = parse_ids(ids_text == target.query.end() ? std::string_view() : ids_text->second);
  if (!ids) return error_reply(ids.error());
  auto index = AccountIndex::open(platform, *folder);
  if (!index) return error_reply(index.error());
  auto file = index->find(*account);
  if (!file) return error_reply(file.error());
  auto read = read_account_bytes(platform, (*file)->path);
  if (!read) return error_reply(read.error());
  auto loaded = decode_account(read->bytes, (*file)->path);
  if (!loaded) return error_reply(loaded.error());

  Package package{std::string(PACKAGE_FORMAT), PACKAGE_VERSION, {}};
  std::set<std::int64_t> found;
  for (Formation& formation : read_formations(loaded->tree)) {
    if (!ids->empty() && ids->count(formation.id) == 0) continue;
    found.insert(formation.id);
    package.formations.push_back(std::move(formation));
  }
  for (const std::int64_t id : *ids) {
    if (found.count(id) == 0) {
      return error_reply(no_such_formation(*account, id));
    }
  }
  HttpResponse reply{200, "application/json; charset=utf-8", write_package_json(package), {}};
  reply.headers.emplace_back("Content-Disposition",
                             "attachment; filename=\"" + download_name(*account) + "\"");
  return reply;
}

// The page shows a package's formations as the program reads them, so what it offers to apply
// is what an apply would merge.
HttpResponse post_read_package(std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  const json::value* package = request->if_contains("package");
  if (package == nullptr || !package->is_string()) {
    return error_reply(ApiError{ErrorCode::BadRequest, "\"package\" must be the file's text"});
  }
  auto accepted = read_package_member(*package);
  if (!accepted) return error_reply(accepted.error());
  json::array formations;
  for (const Formation& formation : accepted->formations) {
    formations.push_back(formation_value(formation));
  }
  return json_reply(json::object{{"formations", std::move(formations)}});
}

}  // namespace orvane::ui
