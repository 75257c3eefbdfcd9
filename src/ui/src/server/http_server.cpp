#include "orvane/ui/http_server.hpp"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <csignal>
#include <optional>

#include "orvane/ui/api_json.hpp"

namespace orvane::ui {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::ip::tcp;
using support::unexpected;

struct HttpServer::State {
  asio::io_context context{1};
  tcp::acceptor acceptor{context};
  std::optional<asio::signal_set> signals;
  Handler handler;
  StopCheck stop_check;
  ServerLimits limits;

  void accept();
  void stop() {
    beast::error_code ignored;
    acceptor.close(ignored);
    context.stop();
  }
};

namespace {

// One client connection: read a request, answer it, and wait for the next one while the
// browser keeps the connection open.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket socket, HttpServer::State& server)
      : stream_(std::move(socket)), server_(server) {}

  void read() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_.limits.max_header_bytes));
    parser_->body_limit(server_.limits.max_body_bytes);
    stream_.expires_after(server_.limits.idle_timeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_read(ec); });
  }

 private:
  void on_read(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == asio::error::operation_aborted) {
      return close();
    }
    if (ec == http::error::body_limit) {
      return reply_and_close(413, "the request is larger than the 4 MiB this program takes");
    }
    if (ec == http::error::header_limit) {
      return reply_and_close(431, "the request's headers are too large");
    }
    if (ec) return reply_and_close(400, "the request is not well-formed HTTP");

    const http::request<http::string_body>& request = parser_->get();
    // Two of a header the checks read could make them look at one and a proxy at the other.
    for (const http::field field : {http::field::host, http::field::origin}) {
      if (request.count(field) > 1) return reply_and_close(400, "a header is given twice");
    }
    if (request.count("X-Token") > 1) return reply_and_close(400, "a header is given twice");

    HttpRequest plain;
    plain.method = std::string(request.method_string());
    plain.target = std::string(request.target());
    plain.host = header(request, http::field::host);
    plain.origin = header(request, http::field::origin);
    if (auto it = request.find("X-Token"); it != request.end())
      plain.token = std::string(it->value());
    plain.body = request.body();
    send(server_.handler(plain), request.keep_alive());
  }

  static std::optional<std::string> header(const http::request<http::string_body>& request,
                                           http::field field) {
    const auto it = request.find(field);
    if (it == request.end()) return std::nullopt;
    return std::string(it->value());
  }

  // A request the server refuses before any handler sees it.
  void reply_and_close(unsigned status, std::string_view message) {
    send(error_reply({status, std::string(message)}), false);
  }

  void send(const HttpResponse& reply, bool keep_alive) {
    response_ = {};
    response_.version(11);
    response_.result(reply.status);
    response_.set(http::field::content_type, reply.content_type);
    for (const auto& [name, value] : reply.headers) response_.set(name, value);
    response_.body() = reply.body;
    response_.keep_alive(keep_alive);
    response_.prepare_payload();
    stream_.expires_after(server_.limits.idle_timeout);
    http::async_write(stream_, response_,
                      [self = shared_from_this(), keep_alive](beast::error_code ec, std::size_t) {
                        self->on_write(ec, keep_alive);
                      });
  }

  void on_write(beast::error_code ec, bool keep_alive) {
    if (server_.stop_check()) return server_.stop();
    if (ec || !keep_alive) return close();
    read();
  }

  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  HttpServer::State& server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
};

}  // namespace

void HttpServer::State::accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) std::make_shared<Connection>(std::move(socket), *this)->read();
    accept();
  });
}

support::Result<std::unique_ptr<HttpServer>, std::string> HttpServer::listen(unsigned short port,
                                                                             Handler handler,
                                                                             StopCheck stop_check,
                                                                             ServerLimits limits) {
  auto state = std::make_unique<State>();
  state->handler = std::move(handler);
  state->stop_check = std::move(stop_check);
  state->limits = limits;
  const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), port);
  beast::error_code ec;
  const auto failed = [&](const char* step) {
    return unexpected("listen on 127.0.0.1:" + std::to_string(port) + ": " + step + ": " +
                      ec.message());
  };
  if (state->acceptor.open(endpoint.protocol(), ec); ec) return failed("open");
#ifndef _WIN32
  // On Windows this option would let another program take the same port.
  if (state->acceptor.set_option(asio::socket_base::reuse_address(true), ec); ec) {
    return failed("set option");
  }
#endif
  if (state->acceptor.bind(endpoint, ec); ec) return failed("bind");
  if (state->acceptor.listen(asio::socket_base::max_listen_connections, ec); ec) {
    return failed("listen");
  }
  state->accept();
  return std::unique_ptr<HttpServer>(new HttpServer(std::move(state)));
}

HttpServer::HttpServer(std::unique_ptr<State> state) : state_(std::move(state)) {}
HttpServer::~HttpServer() = default;

unsigned short HttpServer::port() const {
  beast::error_code ec;
  return state_->acceptor.local_endpoint(ec).port();
}

void HttpServer::stop_on_signals() {
  state_->signals.emplace(state_->context);
  beast::error_code ignored;
  state_->signals->add(SIGINT, ignored);
  state_->signals->add(SIGTERM, ignored);
#ifdef SIGHUP
  state_->signals->add(SIGHUP, ignored);
#endif
#ifdef SIGBREAK
  state_->signals->add(SIGBREAK, ignored);
#endif
  state_->signals->async_wait([this](beast::error_code ec, int) {
    if (!ec) state_->stop();
  });
}

void HttpServer::run() { state_->context.run(); }

void HttpServer::request_stop() {
  asio::post(state_->context, [this] { state_->stop(); });
}

}  // namespace orvane::ui
