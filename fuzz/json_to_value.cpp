// Feeds arbitrary bytes, parsed as JSON, to the tagged JSON reader. Whatever it accepts must
// encode as a marshal stream (unless too deep for the format) that the reader accepts again, and
// must map back to JSON; whatever it refuses must be refused with its one error kind.
#include <boost/json/parse.hpp>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "marshal/json.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Deep enough to reach the writer's depth limit, shallow enough to bound the recursion.
  boost::json::parse_options options;
  options.max_depth = 900;
  boost::json::error_code ec;
  const boost::json::value json = boost::json::parse(
      boost::json::string_view(reinterpret_cast<const char*>(data), size), ec, {}, options);
  if (ec) return 0;

  const auto value = marshal::json_to_value(json);
  if (!value) {
    if (value.error().kind() != marshal::MarshalErrorKind::InvalidJsonEncoding) std::abort();
    return 0;
  }
  for (const bool write_crc : {false, true}) {
    const auto bytes = marshal::write_marshal(*value, marshal::EncodeOptions{write_crc, 1});
    if (!bytes) {
      if (bytes.error().kind() != marshal::MarshalErrorKind::RecursionLimit) std::abort();
      continue;
    }
    const auto decoded = marshal::read_marshal(std::span<const std::uint8_t>(*bytes));
    if (!decoded || decoded->has_crc != write_crc) std::abort();
  }
  (void)marshal::value_to_json(*value);
  return 0;
}
