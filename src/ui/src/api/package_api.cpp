#include <boost/json.hpp>
#include <set>
#include <vector>

#include "account_index.hpp"
#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "download_name.hpp"
#include "marshal/number_text.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/package.hpp"
#include "orvane/core/settings.hpp"
#include "picked_formations.hpp"

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

// The package file of `formations` as a download whose name says what it holds.
HttpResponse package_download(std::vector<Formation> formations) {
  const std::string name = package_file_name(formations);
  Package package{std::string(PACKAGE_FORMAT), PACKAGE_VERSION, std::move(formations)};
  HttpResponse reply{200, "application/json; charset=utf-8", write_package_json(package), {}};
  reply.headers.emplace_back("Content-Disposition", attachment_header(name));
  return reply;
}

}  // namespace

// The bytes `export` writes for the same formations, in the same order.
HttpResponse get_package(Platform& platform, Desktop& desktop, const RequestTarget& target) {
  auto folder = query_member(target, "folder");
  if (!folder) return error_reply(folder.error());
  auto account = query_member(target, "account");
  if (!account) return error_reply(account.error());
  const auto ids_text = target.query.find("ids");
  auto ids = parse_ids(ids_text == target.query.end() ? std::string_view() : ids_text->second);
  if (!ids) return error_reply(ids.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  auto file = index->find(*account);
  if (!file) return error_reply(file.error());
  auto read = read_account_bytes(platform, (*file)->path);
  if (!read) return error_reply(read.error());
  auto loaded = decode_account(read->bytes, (*file)->path);
  if (!loaded) return error_reply(loaded.error());

  std::vector<Formation> formations;
  std::set<std::int64_t> found;
  for (Formation& formation : read_formations(loaded->tree)) {
    if (!ids->empty() && ids->count(formation.id) == 0) continue;
    found.insert(formation.id);
    formations.push_back(std::move(formation));
  }
  for (const std::int64_t id : *ids) {
    if (found.count(id) == 0) {
      return error_reply(no_such_formation(*account, id));
    }
  }
  return package_download(std::move(formations));
}

// Ticks from several accounts, or from a package file a friend sent, make one package; its
// formations come in the order of the picks.
HttpResponse post_package(Platform& platform, Desktop& desktop, std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  const json::value* picks = request->if_contains("formations");
  const json::value* package = request->if_contains("package");
  if ((picks == nullptr) == (package == nullptr)) {
    return error_reply({STATUS_BAD_REQUEST, "give either \"formations\" or \"package\""});
  }
  Result<std::vector<Formation>, ApiError> formations = std::vector<Formation>();
  if (picks != nullptr) {
    auto folder = string_member(*request, "folder");
    if (!folder) return error_reply(folder.error());
    auto index = AccountIndex::open(platform, desktop, *folder);
    if (!index) return error_reply(index.error());
    formations = formations_from_accounts(platform, *index, *picks);
  } else {
    auto file_name = optional_file_name(*request);
    if (!file_name) return error_reply(file_name.error());
    formations = formations_from_package(*package, request->if_contains("pick"), *file_name);
  }
  if (!formations) return error_reply(formations.error());
  if (formations->empty()) return error_reply({STATUS_BAD_REQUEST, "no formation is picked"});
  return package_download(std::move(*formations));
}

// The page shows a package's formations as the program reads them, so what it offers to apply
// is what an apply would merge.
HttpResponse post_read_package(std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  const json::value* package = request->if_contains("package");
  const json::string* text = package == nullptr ? nullptr : package->if_string();
  if (text == nullptr)
    return error_reply(ApiError{ErrorCode::BadRequest, "\"package\" must be the file's text"});
  auto file_name = optional_file_name(*request);
  if (!file_name) return error_reply(file_name.error());
  auto accepted = read_package_text(*text, *file_name);
  if (!accepted) return error_reply(accepted.error());
  json::array formations;
  for (const Formation& formation : accepted->formations) {
    formations.push_back(formation_value(formation));
  }
  return json_reply(json::object{{"formations", std::move(formations)}});
}

}  // namespace orvane::ui
