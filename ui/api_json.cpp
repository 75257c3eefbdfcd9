#include "api_json.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include "marshal/json.hpp"
#include "marshal/utf8.hpp"

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

}  // namespace

HttpResponse json_reply(const boost::json::value& value, unsigned status) {
  return HttpResponse{status, "application/json; charset=utf-8", boost::json::serialize(value), {}};
}

HttpResponse error_reply(const ApiError& error) {
  return json_reply(boost::json::object{{"error", text_value(error.message)}}, error.status);
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
  return boost::json::object{
      {"id", formation.id}, {"name", text_value(formation.name)}, {"probes", std::move(probes)}};
}

Result<std::string, ApiError> query_member(const RequestTarget& target, std::string_view name) {
  const auto it = target.query.find(std::string(name));
  if (it == target.query.end()) return bad_request("the address has no " + quoted(name));
  return it->second;
}

Result<boost::json::object, ApiError> parse_body_object(std::string_view body) {
  auto parsed = marshal::parse_json_text(body, MAX_BODY_DEPTH);
  if (!parsed) return bad_request("the request is not valid JSON: " + parsed.error());
  if (!parsed->is_object()) return bad_request("the request is not a JSON object");
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
