// The window program's request handling: the page's files, and the API behind the security
// checks every API request passes (the address it was sent to, the page it came from, and the
// session's token).
#pragma once

#include <optional>
#include <string>

#include "orvane/core/platform.hpp"
#include "orvane/ui/api_json.hpp"
#include "orvane/ui/desktop.hpp"
#include "orvane/ui/http_message.hpp"

namespace orvane::ui {

struct UiSession {
  std::string token;
  unsigned short port = 0;
  std::optional<std::string> start_folder;  // the folder given on the command line
};

class UiApp {
 public:
  UiApp(Platform& platform, Desktop& desktop, UiSession session);

  // The checks of the address, the page and the token, on a request whose body is not read
  // yet: its refusal, or nothing when it may go on.
  std::optional<HttpResponse> screen(const HttpRequest& request) const;
  // Never throws: a failure inside a handler becomes a 500 reply.
  HttpResponse handle(const HttpRequest& request);
  // True once POST /api/quit was answered: the server stops after sending that reply.
  bool quit_requested() const { return quit_requested_; }

 private:
  HttpResponse route(const HttpRequest& request);
  HttpResponse route_api(const HttpRequest& request);
  std::optional<ApiError> refusal(const HttpRequest& request, bool api) const;

  Platform& platform_;
  Desktop& desktop_;
  UiSession session_;
  bool quit_requested_ = false;
};

// The session token: 128 random bits from the system, in lower-case hexadecimal.
Result<std::string, std::string> make_session_token(Platform& platform, Desktop& desktop);
// True for text of that form.
bool is_session_token(std::string_view text);
// Compares in a time that does not depend on where the texts differ.
bool same_token(std::string_view given, std::string_view expected);

}  // namespace orvane::ui
