#include "orvane/ui/ui_app.hpp"

#include <array>
#include <boost/json.hpp>
#include <exception>
#include <new>

#include "api_endpoints.hpp"
#include "orvane/ui/url_query.hpp"
#include "page_files.hpp"
#include "support/ascii.hpp"

namespace orvane::ui {
namespace {

constexpr std::string_view API_PREFIX = "/api/";
constexpr std::size_t TOKEN_BYTES = 16;

// The page loads its own script and style and talks only to this server; nothing may frame it.
constexpr std::string_view PAGE_POLICY =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

void add_common_headers(HttpResponse& response) {
  response.headers.emplace_back("Cache-Control", "no-store");
  response.headers.emplace_back("X-Content-Type-Options", "nosniff");
  response.headers.emplace_back("Referrer-Policy", "no-referrer");
}

HttpResponse refused_method() {
  return error_reply({STATUS_METHOD_NOT_ALLOWED, "this address does not take that method"});
}

}  // namespace

UiApp::UiApp(Platform& platform, Desktop& desktop, UiSession session)
    : platform_(platform), desktop_(desktop), session_(std::move(session)) {}

std::optional<HttpResponse> UiApp::screen(const HttpRequest& request) const {
  auto refused = refusal(request, request.target.starts_with(API_PREFIX));
  if (!refused) return std::nullopt;
  HttpResponse response = error_reply(*refused);
  add_common_headers(response);
  return response;
}

HttpResponse UiApp::handle(const HttpRequest& request) {
  HttpResponse response;
  try {
    response = route(request);
  } catch (const std::bad_alloc&) {
    response = error_reply({STATUS_SERVER_ERROR, "out of memory"});
  } catch (const std::exception& e) {
    response = error_reply({STATUS_SERVER_ERROR, "unexpected failure: " + std::string(e.what())});
  }
  add_common_headers(response);
  return response;
}

// A page of another site may send requests here from the player's own browser; the Host and
// Origin checks keep those out (DNS rebinding included), and the token the page read from its
// own address keeps out everything that has not seen that address.
std::optional<ApiError> UiApp::refusal(const HttpRequest& request, bool api) const {
  const std::string port = std::to_string(session_.port);
  const std::array<std::string, 2> hosts = {"127.0.0.1:" + port, "localhost:" + port};
  const auto is_own_host = [&](std::string_view host) {
    return host == hosts[0] || host == hosts[1];
  };
  if (!request.host || !is_own_host(*request.host)) {
    return ApiError{STATUS_FORBIDDEN, "requests must be addressed to this program's own address"};
  }
  if (request.origin && !(request.origin->starts_with("http://") &&
                          is_own_host(std::string_view(*request.origin).substr(7)))) {
    return ApiError{STATUS_FORBIDDEN, "requests from other pages are refused"};
  }
  if (api && (!request.token || !same_token(*request.token, session_.token))) {
    return ApiError{STATUS_FORBIDDEN,
                    "the session token is missing or wrong: open the address the program printed"};
  }
  return std::nullopt;
}

HttpResponse UiApp::route(const HttpRequest& request) {
  const bool api = request.target.starts_with(API_PREFIX);
  if (auto refused = refusal(request, api)) return error_reply(*refused);
  if (api) return route_api(request);
  if (request.method != "GET") return refused_method();
  const std::string_view path =
      std::string_view(request.target)
          .substr(0, std::min(request.target.size(), request.target.find('?')));
  const std::string_view wanted = path == "/" ? "/index.html" : path;
  for (const PageFile& file : page_files()) {
    if (file.path != wanted) continue;
    HttpResponse response{200, std::string(file.content_type), std::string(file.body), {}};
    response.headers.emplace_back("Content-Security-Policy", std::string(PAGE_POLICY));
    return response;
  }
  return HttpResponse{STATUS_NOT_FOUND, "text/plain; charset=utf-8", "not found\n", {}};
}

HttpResponse UiApp::route_api(const HttpRequest& request) {
  auto target = parse_request_target(request.target);
  if (!target) return error_reply({STATUS_BAD_REQUEST, target.error()});
  const std::string_view name = std::string_view(target->path).substr(API_PREFIX.size());
  const bool get = request.method == "GET";
  const bool post = request.method == "POST";
  if (name == "folders")
    return get ? get_folders(platform_, desktop_, session_.start_folder) : refused_method();
  if (name == "browse") return get ? get_browse(platform_, desktop_, *target) : refused_method();
  if (name == "info") return get ? get_info() : refused_method();
  if (name == "restore-points")
    return get ? get_restore_points(platform_, desktop_, *target) : refused_method();
  if (name == "accounts")
    return get ? get_accounts(platform_, desktop_, *target) : refused_method();
  if (name == "package") {
    if (get) return get_package(platform_, desktop_, *target);
    return post ? post_package(platform_, desktop_, request.body) : refused_method();
  }
  if (name == "apply")
    return post ? post_apply(platform_, desktop_, request.body) : refused_method();
  if (name == "account-name")
    return post ? post_account_name(platform_, desktop_, request.body) : refused_method();
  if (name == "edit") return post ? post_edit(platform_, desktop_, request.body) : refused_method();
  if (name == "restore")
    return post ? post_restore(platform_, desktop_, request.body) : refused_method();
  if (name == "read-package") return post ? post_read_package(request.body) : refused_method();
  if (name == "instance") {
    // Lets a second start tell this run from another program on a port it once had.
    if (!get) return refused_method();
    return json_reply(boost::json::object{{"program", "orvane-probe-formations-ui"},
                                          {"process", desktop_.process_id()}});
  }
  if (name == "quit") {
    if (!post) return refused_method();
    quit_requested_ = true;
    return json_reply(boost::json::object{{"stopping", true}});
  }
  return error_reply({STATUS_NOT_FOUND, "no such API address"});
}

Result<std::string, std::string> make_session_token(Platform& platform, Desktop& desktop) {
  std::array<std::uint8_t, TOKEN_BYTES> bytes{};
  if (auto filled = desktop.random_bytes(bytes); !filled) {
    return unexpected("random source: " + platform.os_error_text(filled.error()));
  }
  std::string token;
  for (const std::uint8_t byte : bytes) {
    token += support::hex_digit(byte >> 4);
    token += support::hex_digit(byte);
  }
  return token;
}

bool is_session_token(std::string_view text) {
  if (text.size() != 2 * TOKEN_BYTES) return false;
  for (const char c : text) {
    const int value = support::hex_digit_value(c);
    if (value < 0 || support::hex_digit(static_cast<unsigned>(value)) != c) return false;
  }
  return true;
}

bool same_token(std::string_view given, std::string_view expected) {
  // The length is no secret: every token of a run has the same.
  if (given.size() != expected.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ expected[i]);
  }
  return difference == 0;
}

}  // namespace orvane::ui
