// The server on a real socket of this machine: it serves connections side by side, bounds what it
// reads, refuses a header given twice, and stops once a reply asked it to.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <string>
#include <thread>

#include "orvane/ui/http_server.hpp"

namespace orvane::ui {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto server = HttpServer::listen(
        0,
        [this](const HttpRequest& request) {
          ++handled_;
          if (request.target == "/stop") stop_ = true;
          return HttpResponse{
              200,
              "text/plain",
              request.method + " " + request.target + " " + std::to_string(request.body.size()),
              {}};
        },
        [this] { return stop_; });
    ASSERT_TRUE(server) << server.error();
    server_ = std::move(*server);
    thread_ = std::thread([this] { server_->run(); });
  }
  void TearDown() override {
    if (!server_) return;
    server_->request_stop();
    thread_.join();
  }

  tcp::socket connect() {
    tcp::socket socket(context_);
    boost::system::error_code ec;
    socket.connect(tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), server_->port()), ec);
    EXPECT_FALSE(ec) << ec.message();
    return socket;
  }

  // Sends `request` and reads until the status line and headers end, then the body announced.
  static std::string exchange(tcp::socket& socket, const std::string& request) {
    boost::system::error_code ec;
    asio::write(socket, asio::buffer(request), ec);
    std::string reply;
    char chunk[4096];
    for (;;) {
      const std::size_t header_end = reply.find("\r\n\r\n");
      if (header_end != std::string::npos) {
        const std::size_t length_at = reply.find("Content-Length: ");
        const std::size_t length =
            length_at == std::string::npos ? 0 : std::stoul(reply.substr(length_at + 16));
        if (reply.size() >= header_end + 4 + length) return reply;
      }
      const std::size_t n = socket.read_some(asio::buffer(chunk), ec);
      if (ec) return reply;
      reply.append(chunk, n);
    }
  }

  asio::io_context context_;
  std::unique_ptr<HttpServer> server_;
  std::thread thread_;
  int handled_ = 0;
  bool stop_ = false;
};

std::string get(const std::string& target, const std::string& extra = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

TEST_F(ServerTest, AnswersOneConnectionWhileAnotherWaits) {
  tcp::socket idle = connect();
  boost::system::error_code ec;
  asio::write(idle, asio::buffer(std::string("GET /first HTTP/1.1\r\n")), ec);  // half a request
  tcp::socket busy = connect();
  const std::string reply = exchange(busy, get("/second"));
  EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
  EXPECT_NE(reply.find("GET /second 0"), std::string::npos);
  // The same connection stays open for the next request.
  EXPECT_NE(exchange(busy, get("/third")).find("GET /third 0"), std::string::npos);
}

TEST_F(ServerTest, BoundsWhatItReads) {
  struct Case {
    const char* description;
    std::string request;
    const char* status;
  };
  const Case cases[] = {
      {"body over 4 MiB",
       "POST /api/apply HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 4194305\r\n\r\n{",
       "HTTP/1.1 413"},
      {"body of 4 MiB", "", "HTTP/1.1 200"},
      {"headers over 16 KiB", get("/", "X-Pad: " + std::string(17000, 'a') + "\r\n"),
       "HTTP/1.1 431"},
      {"host twice", get("/", "Host: evil.example\r\n"), "HTTP/1.1 400"},
      {"token twice", get("/", "X-Token: a\r\nX-Token: b\r\n"), "HTTP/1.1 400"},
      {"not HTTP", "HELLO\r\n\r\n", "HTTP/1.1 400"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    std::string request = c.request;
    if (request.empty()) {
      request = "POST /api/apply HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 4194304\r\n\r\n" +
                std::string(4194304, ' ');
    }
    tcp::socket socket = connect();
    const std::string reply = exchange(socket, request);
    EXPECT_EQ(reply.rfind(c.status, 0), 0u) << reply.substr(0, 200);
  }
}

TEST_F(ServerTest, StopsAfterTheReplyThatAskedForIt) {
  tcp::socket socket = connect();
  EXPECT_NE(exchange(socket, get("/stop")).find("GET /stop 0"), std::string::npos);
  thread_.join();  // returns only because the server stopped
  server_.reset();
  EXPECT_EQ(handled_, 1);
}

}  // namespace
}  // namespace orvane::ui
