// The HTTP server of the window program: one thread, connections served side by side as their
// bytes arrive, and each request's handler run to its end before the next one starts, so two
// writes to a settings file never interleave. It listens on 127.0.0.1 alone.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "orvane/ui/http_message.hpp"
#include "support/result.hpp"

namespace orvane::ui {

struct ServerLimits {
  std::size_t max_header_bytes = 16 * 1024;
  std::size_t max_body_bytes = 4 * 1024 * 1024;  // a larger body is answered with 413
  std::chrono::seconds idle_timeout{60};         // a connection silent this long is closed
  // A connection past this closes the one idle longest, so that idle or slow clients cannot
  // lock the page out. Lowered for the rest of the run when the system runs out of descriptors.
  std::size_t max_connections = 32;
};

struct HttpHandlers {
  // Asked once a request's headers are in, its body empty and not yet read: a response refuses
  // the request, and its body is never read.
  std::function<std::optional<HttpResponse>(const HttpRequest&)> screen;
  std::function<HttpResponse(const HttpRequest&)> handle;
  // Asked after each reply has been sent; true ends the server.
  std::function<bool()> stop_after_reply;
};

class HttpServer {
 public:
  // Listens on 127.0.0.1:`port`, or on a free port when `port` is 0.
  static support::Result<std::unique_ptr<HttpServer>, std::string> listen(unsigned short port,
                                                                          HttpHandlers handlers,
                                                                          ServerLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  unsigned short port() const;
  // Ends the server on SIGINT, SIGTERM and, where they exist, SIGHUP and SIGBREAK.
  void stop_on_signals();
  // Serves until the stop check, a signal or request_stop ends it.
  void run();
  // Safe from any thread (a console handler runs on one of its own).
  void request_stop();

  struct State;  // the server's parts, defined where the server is

 private:
  explicit HttpServer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace orvane::ui
