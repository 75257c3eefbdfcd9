// The server on a real socket of this machine: it serves connections side by side, bounds what it
// reads, refuses a header given twice, and stops once a reply asked it to.
#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <string>
#include <thread>

#include "orvane/ui/http_server.hpp"

namespace orvane::ui {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

constexpr std::chrono::milliseconds SLOW_HANDLER{400};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto server =
        HttpServer::listen(0, {[this](const HttpRequest& request) -> std::optional<HttpResponse> {
                                 ++screened_;
                                 // Stands for the token check: "/guarded" wants a token.
                                 if (request.target.starts_with("/guarded") && !request.token) {
                                   return HttpResponse{403, "text/plain", "no token", {}};
                                 }
                                 return std::nullopt;
                               },
                               [this](const HttpRequest& request) {
                                 ++handled_;
                                 if (request.target == "/stop") stop_ = true;
                                 if (request.target == "/slow")
                                   std::this_thread::sleep_for(SLOW_HANDLER);
                                 return HttpResponse{200,
                                                     "text/plain",
                                                     request.method + " " + request.target + " " +
                                                         std::to_string(request.body.size()),
                                                     {}};
                               },
                               [this] { return stop_.load(); }});
    ASSERT_TRUE(server) << server.error();
    server_ = std::move(*server);
    thread_ = std::thread([this] { server_->run(); });
  }
  void TearDown() override {
    if (!server_) return;
    server_->request_stop();
    thread_.join();
  }

  // A fresh server, so that what the last case left open does not count.
  void restart() {
    TearDown();
    server_.reset();
    SetUp();
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
  // Written by the server's thread, read once its replies are in.
  std::atomic<int> screened_ = 0;
  std::atomic<int> handled_ = 0;
  std::atomic<bool> stop_ = false;
};

std::string get(const std::string& target, const std::string& extra = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

using Clock = std::chrono::steady_clock;

// True when the server has closed its end: what it sent before is read and dropped.
bool closed_by_server(tcp::socket& socket) {
  socket.non_blocking(true);
  char chunk[256];
  for (;;) {
    boost::system::error_code ec;
    socket.read_some(asio::buffer(chunk), ec);
    if (ec == asio::error::would_block) return false;
    if (ec) return true;
  }
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

namespace orvane::ui {
namespace {

TEST_F(ServerTest, AnswersPastIdleAndSlowConnections) {
  struct Case {
    const char* description;
    std::string sent;  // by each of the 40 connections, which then fall silent
  };
  const Case cases[] = {
      {"connected, nothing sent", ""},
      {"half a request line", "GET /first HT"},
      {"headers without their end", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"},
      {"a body cut short",
       "POST /x HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000\r\n\r\nabc"},
      {"the body a 100 Continue asked for never sent",
       "POST /x HTTP/1.1\r\nHost: 127.0.0.1\r\nExpect: 100-continue\r\n"
       "Content-Length: 10\r\n\r\n"},
  };
  constexpr std::size_t IDLE = 40;
  constexpr std::size_t CAP = 32;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    restart();
    std::vector<tcp::socket> idle;
    for (std::size_t i = 0; i < IDLE; ++i) {
      idle.push_back(connect());
      boost::system::error_code ec;
      asio::write(idle.back(), asio::buffer(c.sent), ec);
    }
    // Idle, not still arriving: the server has read what they sent.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point start = Clock::now();
    tcp::socket good = connect();
    const std::string reply = exchange(good, get("/good"));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
    // The good one made 41: the nine idle longest are closed, the rest kept.
    for (std::size_t i = 0; i < IDLE; ++i) {
      EXPECT_EQ(closed_by_server(idle[i]), i < IDLE + 1 - CAP) << "connection " << i;
    }
  }
}

TEST_F(ServerTest, ClosesTheConnectionIdleLongestNotTheOneUsedLast) {
  std::vector<tcp::socket> open;
  for (int i = 0; i < 32; ++i) open.push_back(connect());
  // The first connection opened is the last to have been used.
  EXPECT_NE(exchange(open[0], get("/again")).find("GET /again 0"), std::string::npos);
  tcp::socket newest = connect();
  EXPECT_NE(exchange(newest, get("/newest")).find("GET /newest 0"), std::string::npos);
  EXPECT_FALSE(closed_by_server(open[0]));
  EXPECT_TRUE(closed_by_server(open[1]));
  for (std::size_t i = 2; i < open.size(); ++i) EXPECT_FALSE(closed_by_server(open[i])) << i;
}

TEST_F(ServerTest, ScreensTheHeadersBeforeTheBodyIsRead) {
  struct Case {
    const char* description;
    std::string request;  // the body is never sent when the headers announce more
    const char* status;
    int handled;  // requests the handler saw
  };
  const std::string post = "POST /guarded HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  const Case cases[] = {
      {"4 MiB announced, no token", post + "Content-Length: 4194304\r\n\r\n", "HTTP/1.1 403", 0},
      {"chunked, no token", post + "Transfer-Encoding: chunked\r\n\r\n", "HTTP/1.1 403", 0},
      {"no body, no token", get("/guarded"), "HTTP/1.1 403", 0},
      {"over 4 MiB announced, with token", post + "X-Token: t\r\nContent-Length: 4194305\r\n\r\n",
       "HTTP/1.1 413", 0},
      {"with token", post + "X-Token: t\r\nContent-Length: 3\r\n\r\nabc", "HTTP/1.1 200", 1},
      {"not guarded", get("/page"), "HTTP/1.1 200", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const int handled_before = handled_;
    const Clock::time_point start = Clock::now();
    tcp::socket socket = connect();
    const std::string reply = exchange(socket, c.request);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(reply.rfind(c.status, 0), 0u) << reply.substr(0, 200);
    EXPECT_EQ(handled_ - handled_before, c.handled);
    // A refused request ends its connection: its body would otherwise be read as a request.
    if (c.handled == 0) {
      socket.non_blocking(false);
      char byte;
      boost::system::error_code ec;
      socket.read_some(asio::buffer(&byte, 1), ec);
      EXPECT_TRUE(ec) << "the connection stays open";
    }
  }
}

TEST_F(ServerTest, AnswersExpectContinue) {
  struct Case {
    const char* description;
    std::string headers;
    const char* first;  // the status line that comes before any body is sent
    const char* reply;  // after the body, when the first was 100 Continue
  };
  const std::string post = "POST /guarded HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n";
  const Case cases[] = {
      {"with token", post + "X-Token: t\r\nExpect: 100-continue\r\n\r\n", "HTTP/1.1 100",
       "POST /guarded 5"},
      {"in capitals", post + "X-Token: t\r\nExpect: 100-Continue\r\n\r\n", "HTTP/1.1 100",
       "POST /guarded 5"},
      {"without token: refused at once", post + "Expect: 100-continue\r\n\r\n", "HTTP/1.1 403", ""},
      {"another expectation", post + "X-Token: t\r\nExpect: something\r\n\r\n", "HTTP/1.1 417", ""},
      {"given twice", post + "X-Token: t\r\nExpect: 100-continue\r\nExpect: 100-continue\r\n\r\n",
       "HTTP/1.1 400", ""},
      {"without a body", get("/page", "Expect: 100-continue\r\n"), "HTTP/1.1 200", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    tcp::socket socket = connect();
    const std::string first = exchange(socket, c.headers);
    EXPECT_EQ(first.rfind(c.first, 0), 0u) << first;
    if (*c.reply == '\0') continue;
    EXPECT_EQ(first.find("\r\n\r\n"), first.size() - 4) << "the interim reply has no body";
    const std::string reply = exchange(socket, "hello");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
    EXPECT_NE(reply.find(c.reply), std::string::npos) << reply;
  }
}

TEST_F(ServerTest, HoldsOtherRequestsNoLongerThanASlowOneTakes) {
  std::string slow_reply;
  std::thread slow([&] {
    tcp::socket socket = connect();
    slow_reply = exchange(socket, get("/slow"));
  });
  std::this_thread::sleep_for(SLOW_HANDLER / 8);
  const Clock::time_point start = Clock::now();
  tcp::socket socket = connect();
  const std::string reply = exchange(socket, get("/fast"));
  const auto waited = Clock::now() - start;
  slow.join();
  EXPECT_NE(reply.find("GET /fast 0"), std::string::npos);
  EXPECT_NE(slow_reply.find("GET /slow 0"), std::string::npos);
  EXPECT_LT(waited, SLOW_HANDLER + std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace orvane::ui
