#include "picked_formations.hpp"

#include <boost/json.hpp>
#include <map>
#include <span>
#include <string>

#include "account_read.hpp"
#include "marshal/reader.hpp"
#include "orvane/core/apply_formations.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

std::string naming(std::string message, std::string_view file_name) {
  if (file_name.empty()) return message;
  return message + " (" + std::string(file_name) + ")";
}

}  // namespace

Result<std::string, ApiError> optional_file_name(const json::object& request) {
  if (request.if_contains("file_name") == nullptr) return std::string();
  return string_member(request, "file_name");
}

Result<std::vector<Formation>, ApiError> formations_from_accounts(Platform& platform,
                                                                  const AccountIndex& index,
                                                                  const json::value& picks,
                                                                  const ShownVersions* shown) {
  const std::string_view shape = shown != nullptr
                                     ? "each formation must be {\"account\", \"id\", \"name\"}"
                                     : "each formation must be {\"account\", \"id\"}";
  const json::array* items = picks.if_array();
  if (items == nullptr) return bad_request("\"formations\" must be a list");
  std::map<std::string, std::vector<Formation>> stored;  // by account, each read once
  std::vector<Formation> formations;
  for (const json::value& item : *items) {
    const json::object* pick = item.if_object();
    if (pick == nullptr) return bad_request(std::string(shape));
    auto account = string_member(*pick, "account");
    if (!account) return account.take_error();
    std::string name;
    if (shown != nullptr) {
      auto named = string_member(*pick, "name");
      if (!named) return named.take_error();
      name = std::move(*named);
    }
    const json::value* id_value = pick->if_contains("id");
    if (id_value == nullptr) return bad_request(std::string(shape));
    auto id = integer_value(*id_value, "id");
    if (!id) return id.take_error();
    auto file = index.find(*account);
    if (!file) return file.take_error();
    auto held = stored.find(*account);
    if (held == stored.end()) {
      auto read = shown != nullptr ? read_shown_account(platform, **file, *shown)
                                   : read_account_bytes(platform, (*file)->path);
      if (!read) return read.take_error();
      auto loaded = decode_account(read->bytes, (*file)->path);
      if (!loaded) return loaded.take_error();
      held = stored.emplace(*account, read_formations(loaded->tree)).first;
    }
    const Formation* found = nullptr;
    for (const Formation& formation : held->second) {
      if (formation.id == *id) found = &formation;
    }
    if (shown == nullptr && found == nullptr) return unexpected(no_such_formation(*account, *id));
    if (shown != nullptr && (found == nullptr || found->name != name)) {
      return unexpected(changed_on_disk(
          *account, "its formation " + std::to_string(*id) + " is no longer " + name));
    }
    formations.push_back(*found);
  }
  return formations;
}

// A settings file read as text keeps its first bytes, the signature, whatever the rest became.
Result<Package, ApiError> read_package_text(std::string_view text, std::string_view file_name) {
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size());
  if (marshal::has_marshal_header(bytes)) {
    return refused(ErrorCode::BadPackage,
                   naming("this is an account's settings file, not a package", file_name));
  }
  auto read = read_package_json(text);
  if (!read) return refused(ErrorCode::BadPackage, naming("package: " + read.error(), file_name));
  if (!is_accepted_package(*read)) {
    return refused(ErrorCode::UnsupportedPackage,
                   naming("unsupported formation package", file_name));
  }
  return std::move(*read);
}

Result<std::vector<Formation>, ApiError> formations_from_package(const json::value& package,
                                                                 const json::value* pick,
                                                                 std::string_view file_name) {
  const json::string* text = package.if_string();
  auto accepted = text != nullptr ? read_package_text(*text, file_name)
                                  : read_package_text(json::serialize(package), file_name);
  if (!accepted) return accepted.take_error();
  if (pick == nullptr) return std::move(accepted->formations);
  const json::array* indexes = pick->if_array();
  if (indexes == nullptr) return bad_request("\"pick\" must be a list of formation numbers");
  std::vector<Formation> formations;
  for (const json::value& item : *indexes) {
    auto index = integer_value(item, "pick");
    if (!index) return index.take_error();
    if (*index < 0 || static_cast<std::uint64_t>(*index) >= accepted->formations.size()) {
      return bad_request(
          naming("the package has no formation number " + std::to_string(*index), file_name));
    }
    formations.push_back(accepted->formations[static_cast<std::size_t>(*index)]);
  }
  return formations;
}

}  // namespace orvane::ui
