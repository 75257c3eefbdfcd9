// The one-pass codec against the composed one on arbitrary bytes: read as a stream, the fused
// load must give the same tree or the same error as read_marshal then value_to_json, and a tree
// loaded that way must save to the same bytes or the same error both ways. The same bytes, read
// as JSON text, check the save paths on arbitrary JSON, where a rebuild error must win over an
// encode error; and they seed a random tree, written and checked both ways. Each input picks
// the checksum and header choices from its hash. The block-wise checksum must give what the
// byte-wise definition gives on the same bytes.
#include <boost/json/parse.hpp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <string>

#include "adler32.hpp"
#include "helpers/adler32_reference.hpp"
#include "helpers/codec_equivalence.hpp"
#include "helpers/random_tree.hpp"
#include "read_options.hpp"

namespace {

void require(const std::string& mismatch) {
  if (mismatch.empty()) return;
  std::fprintf(stderr, "%s\n", mismatch.c_str());
  std::abort();
}

std::uint64_t seed_of(const std::uint8_t* data, std::size_t size) {
  std::uint64_t seed = 1469598103934665603ull;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 1099511628211ull;
  return seed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (marshal::detail::adler32(bytes) != marshal::testing::adler32_by_definition(bytes)) {
    require("checksums differ");
  }
  // Each input takes one header mode and one checksum choice; the corpus covers all four.
  const std::uint64_t seed = seed_of(data, size);
  const marshal::EncodeOptions save{(seed & 1) != 0, 1};
  const marshal::EncodeOptions write{(seed & 2) != 0, static_cast<std::uint8_t>((seed >> 2) & 1)};

  marshal::JsonValue loaded;
  const std::string decoded =
      marshal::testing::decode_mismatch(bytes, &loaded, marshal::fuzzing::READ_OPTIONS);
  require(decoded);
  if (!loaded.is_null()) require(marshal::testing::encode_mismatch(loaded, save));

  // Deep enough to pass the writer's depth limit, shallow enough to bound the recursion.
  boost::json::parse_options options;
  options.max_depth = 900;
  boost::json::error_code ec;
  const boost::json::value json = boost::json::parse(
      boost::json::string_view(reinterpret_cast<const char*>(data), size), ec, {}, options);
  if (!ec) require(marshal::testing::encode_mismatch(json, save));

  // The same paths every time, whatever the input: a quarter of the inputs is enough.
  if ((seed >> 3) % 4 != 0) return 0;
  std::mt19937_64 rng(seed);
  const marshal::MarshalValue tree = marshal::testing::random_tree(
      rng, {.max_depth = 4, .max_children = 4, .reader_shaped = (size % 2) == 0});
  const auto stream = marshal::write_marshal(tree, write);
  if (!stream) std::abort();
  require(marshal::testing::decode_mismatch(*stream));
  require(marshal::testing::encode_mismatch(marshal::value_to_json(tree), write));
  return 0;
}
