// One request and its response as the window program's handlers see them, apart from the server
// that carries them, so that the handlers are tested without a socket.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvane::ui {

struct HttpRequest {
  std::string method;  // "GET", "POST", ...
  std::string target;  // the path and query, such as "/api/accounts?folder=..."
  // The headers the security checks read; none when absent. A header sent twice is refused by
  // the server before any handler runs.
  std::optional<std::string> host;
  std::optional<std::string> origin;
  std::optional<std::string> token;  // X-Token
  std::string body;
};

struct HttpResponse {
  unsigned status = 200;
  std::string content_type;
  std::string body;
  // Headers beyond those every response gets (such as Content-Disposition).
  std::vector<std::pair<std::string, std::string>> headers;
};

}  // namespace orvane::ui
