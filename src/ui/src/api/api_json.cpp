#include "orvane/ui/api_json.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <set>
#include <string>

#include "marshal/json.hpp"
#include "marshal/utf8.hpp"
#include "member_names.hpp"
#include "orvane/core/apply_formations.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/package_text.hpp"

namespace orvane::ui {
namespace {

// Request bodies are small documents of the page's own making.
constexpr std::size_t MAX_BODY_DEPTH = 64;

std::string quoted(std::string_view name) {
  std::string text;
  text.reserve(name.size() + 2);
  text += '"';
  text += name;
  text += '"';
  return text;
}

// Compact JSON whose numbers and strings are spelled as in a package file (4.0, not 4E0), so a
// reply reads as the files the player knows.
void append_json(std::string& out, const boost::json::value& value) {
  switch (value.kind()) {
    case boost::json::kind::null:
      out += "null";
      return;
    case boost::json::kind::bool_:
      out += value.get_bool() ? "true" : "false";
      return;
    case boost::json::kind::int64:
      out += std::to_string(value.get_int64());
      return;
    case boost::json::kind::uint64:
      out += std::to_string(value.get_uint64());
      return;
    case boost::json::kind::double_:
      out += package_double_text(value.get_double());
      return;
    case boost::json::kind::string:
      append_package_string(out, value.get_string());
      return;
    case boost::json::kind::array: {
      out += '[';
      const char* separator = "";
      for (const boost::json::value& item : value.get_array()) {
        out += separator;
        append_json(out, item);
        separator = ",";
      }
      out += ']';
      return;
    }
    case boost::json::kind::object: {
      out += '{';
      const char* separator = "";
      for (const auto& member : value.get_object()) {
        out += separator;
        append_package_string(out, member.key());
        out += ':';
        append_json(out, member.value());
        separator = ",";
      }
      out += '}';
      return;
    }
  }
}

}  // namespace

HttpResponse json_reply(const boost::json::value& value, unsigned status) {
  std::string body;
  append_json(body, value);
  return HttpResponse{status, "application/json; charset=utf-8", std::move(body), {}};
}

HttpResponse error_reply(const ApiError& error) {
  return json_reply(boost::json::object{{"error", text_value(error.message)},
                                        {"error_code", error_code_name(error.code)}},
                    error.status);
}

void set_error(boost::json::object& entry, const ApiError* error) {
  if (error == nullptr) {
    entry["error"] = nullptr;
    entry["error_code"] = nullptr;
    return;
  }
  entry["error"] = text_value(error->message);
  entry["error_code"] = error_code_name(error->code);
}

boost::json::value text_value(std::string_view text) {
  if (marshal::is_valid_utf8(text)) return boost::json::string(text);
  return boost::json::string(marshal::utf8_lossy(text));
}

boost::json::value formation_value(const Formation& formation) {
  boost::json::array probes;
  probes.reserve(formation.probes.size());
  for (const Probe& probe : formation.probes) {
    probes.push_back(boost::json::object{
        {"x", probe.x}, {"y", probe.y}, {"z", probe.z}, {"range", probe.range}});
  }
  return boost::json::object{{"id", formation.id},
                             {"name", text_value(formation.name)},
                             {"name_key", text_value(name_key(formation.name))},
                             {"probes", std::move(probes)}};
}

Result<std::string, ApiError> query_member(const RequestTarget& target, std::string_view name) {
  const auto it = target.query.find(std::string(name));
  if (it == target.query.end()) return bad_request("the address has no " + quoted(name));
  return it->second;
}

// A member given twice would be read as its last copy here and possibly as its first elsewhere.
Result<boost::json::object, ApiError> parse_body_object(std::string_view body) {
  auto parsed = marshal::parse_json_text(body, MAX_BODY_DEPTH);
  if (!parsed) return bad_request("the request is not valid JSON: " + parsed.error());
  if (!parsed->is_object()) return bad_request("the request is not a JSON object");
  if (auto twice = member_given_twice(body, MAX_BODY_DEPTH)) {
    return bad_request("the request gives " + quoted(std::string_view(*twice)) + " twice");
  }
  return std::move(parsed->as_object());
}

Result<std::string, ApiError> string_member(const boost::json::object& body,
                                            std::string_view name) {
  const boost::json::value* member = body.if_contains(name);
  if (member == nullptr) return bad_request("the request has no " + quoted(name));
  const boost::json::string* text = member->if_string();
  if (text == nullptr) return bad_request(quoted(name) + " must be a string");
  return std::string(*text);
}

Result<std::vector<std::string>, ApiError> string_list_member(const boost::json::object& body,
                                                              std::string_view name) {
  const boost::json::value* member = body.if_contains(name);
  if (member == nullptr) return bad_request("the request has no " + quoted(name));
  const boost::json::array* items = member->if_array();
  if (items == nullptr) return bad_request(quoted(name) + " must be a list of strings");
  std::vector<std::string> texts;
  for (const boost::json::value& item : *items) {
    const boost::json::string* text = item.if_string();
    if (text == nullptr) return bad_request(quoted(name) + " must be a list of strings");
    texts.emplace_back(*text);
  }
  return texts;
}

Result<std::vector<std::string>, ApiError> distinct_string_list_member(
    const boost::json::object& body, std::string_view name) {
  auto texts = string_list_member(body, name);
  if (!texts) return texts;
  std::set<std::string_view> seen;
  for (const std::string& text : *texts) {
    if (!seen.insert(text).second) {
      return bad_request(quoted(name) + " names " + quoted(std::string_view(text)) + " twice");
    }
  }
  return texts;
}

Result<std::map<std::string, std::string>, ApiError> string_map_member(
    const boost::json::object& body, std::string_view name) {
  const boost::json::value* member = body.if_contains(name);
  if (member == nullptr) return bad_request("the request has no " + quoted(name));
  const boost::json::object* object = member->if_object();
  if (object == nullptr) return bad_request(quoted(name) + " must be an object of strings");
  std::map<std::string, std::string> texts;
  for (const auto& item : *object) {
    const boost::json::string* text = item.value().if_string();
    if (text == nullptr) return bad_request(quoted(name) + " must be an object of strings");
    texts.emplace(std::string(item.key()), std::string(*text));
  }
  return texts;
}

Result<bool, ApiError> bool_member(const boost::json::object& body, std::string_view name,
                                   bool absent) {
  const boost::json::value* member = body.if_contains(name);
  if (member == nullptr) return absent;
  const bool* flag = member->if_bool();
  if (flag == nullptr) return bad_request(quoted(name) + " must be true or false");
  return *flag;
}

Result<std::int64_t, ApiError> integer_value(const boost::json::value& value,
                                             std::string_view name) {
  if (auto integer = marshal::json_int64(value)) return *integer;
  return bad_request(quoted(name) + " must be a whole number");
}

}  // namespace orvane::ui
