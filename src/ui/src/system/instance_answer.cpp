#include "orvane/ui/instance_answer.hpp"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/json.hpp>

namespace orvane::ui {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace json = boost::json;

namespace {

constexpr std::size_t LARGEST_ANSWER = 64 * 1024;

bool is_the_recorded_process(const std::string& body, std::uint64_t process) {
  boost::system::error_code ec;
  const json::value value = json::parse(body, ec);
  const json::object* object = ec ? nullptr : value.if_object();
  if (object == nullptr) return false;
  const json::value* program = object->if_contains("program");
  const json::value* id = object->if_contains("process");
  if (program == nullptr || program->if_string() == nullptr ||
      *program->if_string() != "orvane-probe-formations-ui" || id == nullptr) {
    return false;
  }
  const std::uint64_t* unsigned_id = id->if_uint64();
  const std::int64_t* signed_id = id->if_int64();
  return (unsigned_id != nullptr && *unsigned_id == process) ||
         (signed_id != nullptr && *signed_id >= 0 &&
          static_cast<std::uint64_t>(*signed_id) == process);
}

}  // namespace

bool instance_answers(const InstanceRecord& record, std::chrono::milliseconds timeout) {
  asio::io_context context{1};
  beast::tcp_stream stream(context);
  const std::string host = "127.0.0.1:" + std::to_string(record.port);
  http::request<http::empty_body> request{http::verb::get, "/api/instance", 11};
  request.set(http::field::host, host);
  request.set("X-Token", record.token);
  request.keep_alive(false);
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(LARGEST_ANSWER);
  bool answered = false;

  // One deadline for the whole exchange: a server that accepts and never answers is not there.
  stream.expires_after(timeout);
  stream.async_connect(
      asio::ip::tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), record.port),
      [&](beast::error_code ec) {
        if (ec) return;
        http::async_write(stream, request, [&](beast::error_code write_ec, std::size_t) {
          if (write_ec) return;
          http::async_read(stream, buffer, parser, [&](beast::error_code read_ec, std::size_t) {
            answered = !read_ec && parser.get().result() == http::status::ok &&
                       is_the_recorded_process(parser.get().body(), record.process);
          });
        });
      });
  context.run();
  return answered;
}

}  // namespace orvane::ui
