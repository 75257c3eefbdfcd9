#include "orvane/ui/http_server.hpp"

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <csignal>
#include <list>
#include <optional>

#include "orvane/ui/api_json.hpp"

namespace orvane::ui {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::ip::tcp;
using support::unexpected;

namespace {

class Connection;

// Descriptors kept free for the handlers' own files once the system has run out of them.
constexpr std::size_t SPARE_DESCRIPTORS = 4;
constexpr std::chrono::milliseconds FIRST_ACCEPT_PAUSE{50};
constexpr std::chrono::milliseconds LONGEST_ACCEPT_PAUSE{1000};

bool out_of_descriptors(const beast::error_code& ec) {
  return ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
         ec == asio::error::no_memory || ec == boost::system::errc::too_many_files_open_in_system;
}

}  // namespace

struct HttpServer::State {
  // The open connections, the one active least recently first. Declared first: the connections
  // the context still holds leave it when the context goes.
  std::list<Connection*> open;
  asio::io_context context{1};
  tcp::acceptor acceptor{context};
  asio::steady_timer accept_pause{context};
  std::chrono::milliseconds pause{0};
  std::optional<asio::signal_set> signals;
  HttpHandlers handlers;
  ServerLimits limits;

  void accept();
  void accept_later(const beast::error_code& ec);
  // Closes the connections idle longest until fewer than `count` are open.
  void keep_fewer_than(std::size_t count);
  void stop() {
    beast::error_code ignored;
    acceptor.close(ignored);
    accept_pause.cancel();
    context.stop();
  }
};

namespace {

// One client connection: read a request's headers, screen them, read its body, answer it, and
// wait for the next one while the browser keeps the connection open.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket socket, HttpServer::State& server)
      : stream_(std::move(socket)), server_(server) {
    place_ = server_.open.insert(server_.open.end(), this);
  }
  ~Connection() {
    if (place_) server_.open.erase(*place_);
  }

  void read() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_.limits.max_header_bytes));
    parser_->body_limit(server_.limits.max_body_bytes);
    stream_.expires_after(server_.limits.idle_timeout);
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_header(ec); });
  }

  void close() {
    if (!place_) return;
    server_.open.erase(*place_);
    place_.reset();
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

 private:
  // Marks the connection as the one active most recently.
  void touch() {
    if (place_) server_.open.splice(server_.open.end(), server_.open, *place_);
  }

  // True when the read ended the connection, its reply sent if it needs one.
  bool read_failed(beast::error_code ec) {
    if (!ec) return false;
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == asio::error::operation_aborted || !place_) {
      close();
    } else if (ec == http::error::body_limit) {
      reply_and_close(413, "the request is larger than the 4 MiB this program takes");
    } else if (ec == http::error::header_limit) {
      reply_and_close(431, "the request's headers are too large");
    } else {
      reply_and_close(400, "the request is not well-formed HTTP");
    }
    return true;
  }

  void on_header(beast::error_code ec) {
    if (read_failed(ec)) return;
    touch();
    const http::request<http::string_body>& request = parser_->get();
    // Two of a header the checks read could make them look at one and a proxy at the other.
    for (const http::field field : {http::field::host, http::field::origin, http::field::expect}) {
      if (request.count(field) > 1) return reply_and_close(400, "a header is given twice");
    }
    if (request.count("X-Token") > 1) return reply_and_close(400, "a header is given twice");

    request_ = {};
    request_.method = std::string(request.method_string());
    request_.target = std::string(request.target());
    request_.host = header(request, http::field::host);
    request_.origin = header(request, http::field::origin);
    if (auto it = request.find("X-Token"); it != request.end())
      request_.token = std::string(it->value());
    if (server_.handlers.screen) {
      if (auto refused = server_.handlers.screen(request_)) return send(*refused, false);
    }

    const auto expect = request.find(http::field::expect);
    if (expect == request.end()) return read_body();
    if (!beast::iequals(expect->value(), "100-continue")) {
      return reply_and_close(417, "the only expectation this program meets is 100-continue");
    }
    if (parser_->is_done()) return read_body();
    // The client waits for this before it sends the body.
    continue_ = {http::status::continue_, 11};
    http::async_write(stream_, continue_,
                      [self = shared_from_this()](beast::error_code write_ec, std::size_t) {
                        if (write_ec) return self->close();
                        self->read_body();
                      });
  }

  void read_body() {
    if (parser_->is_done()) return on_body({});
    stream_.expires_after(server_.limits.idle_timeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_body(ec); });
  }

  void on_body(beast::error_code ec) {
    if (read_failed(ec)) return;
    touch();
    request_.body = std::move(parser_->get().body());
    send(server_.handlers.handle(request_), parser_->get().keep_alive());
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
    if (!place_) return;  // closed for a newer connection while the handler ran
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
    if (server_.handlers.stop_after_reply()) return server_.stop();
    if (ec || !keep_alive || !place_) return close();
    touch();
    read();
  }

  beast::tcp_stream stream_;
  HttpServer::State& server_;
  std::optional<std::list<Connection*>::iterator> place_;  // none once closed
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  HttpRequest request_;
  http::response<http::empty_body> continue_;
  http::response<http::string_body> response_;
};

}  // namespace

void HttpServer::State::keep_fewer_than(std::size_t count) {
  while (!open.empty() && open.size() >= count) open.front()->close();
}

void HttpServer::State::accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (ec) return accept_later(ec);
    pause = {};
    keep_fewer_than(limits.max_connections);
    std::make_shared<Connection>(std::move(socket), *this)->read();
    accept();
  });
}

// A failed accept is tried again only after a pause, so a lasting failure cannot spin. Out of
// descriptors, the server also makes do with fewer connections from then on, which leaves a few
// descriptors for the files the handlers open.
void HttpServer::State::accept_later(const beast::error_code& ec) {
  if (out_of_descriptors(ec) && !open.empty()) {
    limits.max_connections = std::max<std::size_t>(
        1, open.size() > SPARE_DESCRIPTORS ? open.size() - SPARE_DESCRIPTORS : 1);
    keep_fewer_than(limits.max_connections);
  }
  pause = pause.count() == 0 ? FIRST_ACCEPT_PAUSE : std::min(pause * 2, LONGEST_ACCEPT_PAUSE);
  accept_pause.expires_after(pause);
  accept_pause.async_wait([this](beast::error_code wait_ec) {
    if (!wait_ec) accept();
  });
}

support::Result<std::unique_ptr<HttpServer>, std::string> HttpServer::listen(unsigned short port,
                                                                             HttpHandlers handlers,
                                                                             ServerLimits limits) {
  auto state = std::make_unique<State>();
  state->handlers = std::move(handlers);
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
