#include "account_names.hpp"

#include <boost/json.hpp>

#include "marshal/json.hpp"
#include "orvane/core/display_names.hpp"
#include "orvane/ui/data_folder.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

constexpr std::string_view NAMES_FILE = "account-names.json";
constexpr std::size_t NAMES_DEPTH = 4;

ApiError name_refusal(NameFault fault) {
  const std::string text = "account name: " + name_fault_text(fault);
  switch (fault) {
    case NameFault::Empty:
      return ApiError{ErrorCode::NameEmpty, text};
    case NameFault::TooLong:
      return ApiError{ErrorCode::NameTooLong, text};
    case NameFault::ControlCharacter:
      break;
  }
  return ApiError{ErrorCode::NameControlCharacter, text};
}

}  // namespace

std::optional<std::string> AccountNames::file_path() {
  auto data = program_data_folder(platform_, desktop_);
  if (!data) return std::nullopt;
  return platform_.join_path(*data, std::string(NAMES_FILE));
}

// The same folder reached by another spelling keeps the same names.
std::string AccountNames::folder_key(const std::string& folder) {
  return platform_.resolved_path(folder).value_or(folder);
}

json::object AccountNames::read_all() {
  auto path = file_path();
  if (!path) return {};
  auto bytes = platform_.read_regular_file(*path, MAX_ACCOUNT_NAMES_BYTES);
  if (!bytes) return {};
  auto parsed = marshal::parse_json_text(
      std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), NAMES_DEPTH);
  json::object* all = parsed ? parsed->if_object() : nullptr;
  return all == nullptr ? json::object() : std::move(*all);
}

std::map<std::string, std::string> AccountNames::of_folder(const std::string& folder) {
  std::map<std::string, std::string> names;
  const json::object all = read_all();
  const json::value* held = all.if_contains(folder_key(folder));
  const json::object* accounts = held == nullptr ? nullptr : held->if_object();
  if (accounts == nullptr) return names;
  for (const auto& member : *accounts) {
    const json::string* name = member.value().if_string();
    // A name edited by hand against the rule is left out, as a damaged file is.
    if (name != nullptr && !name_fault(*name)) names.emplace(member.key(), *name);
  }
  return names;
}

Result<void, ApiError> AccountNames::set(const std::string& folder, const std::string& account,
                                         const std::string& name) {
  if (!name.empty()) {
    if (auto fault = name_fault(name)) return unexpected(name_refusal(*fault));
  }
  json::object all = read_all();
  const std::string key = folder_key(folder);
  json::value& held = all[key];
  if (!held.is_object()) held = json::object();
  json::object& accounts = held.get_object();
  if (name.empty()) {
    accounts.erase(account);
    if (accounts.empty()) all.erase(key);
  } else {
    accounts[account] = name;
  }
  const std::string text = json::serialize(all);
  if (text.size() > MAX_ACCOUNT_NAMES_BYTES) {
    return refused(ErrorCode::TooLarge, "account names: the file would pass " +
                                            std::to_string(MAX_ACCOUNT_NAMES_BYTES) + " bytes");
  }
  auto data = make_program_data_folder(platform_, desktop_);
  if (!data) return refused(ErrorCode::WriteFailed, data.error());
  const std::string path = platform_.join_path(*data, std::string(NAMES_FILE));
  if (auto written = desktop_.write_private_file(path, text); !written) {
    return refused(ErrorCode::WriteFailed,
                   "account names " + path + ": " + platform_.os_error_text(written.error()));
  }
  return {};
}

}  // namespace orvane::ui
