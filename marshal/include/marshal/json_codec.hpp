// Stream bytes to tagged JSON and back, each in one pass with no value tree between: the same
// results as read_marshal then value_to_json, and as json_to_value then write_marshal, for a
// fraction of the time and memory on large settings files.
#pragma once

#include <boost/json/storage_ptr.hpp>
#include <cstddef>
#include <cstdint>
#include <span>

#include "marshal/error.hpp"
#include "marshal/json.hpp"
#include "marshal/member_selection.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"

namespace marshal {

struct DecodedJson {
  JsonValue value;             // value_to_json of the root read_marshal gives
  std::size_t end_offset = 0;  // just past the root value
  bool has_crc = false;        // a CRC_CHECK tag was met anywhere in the stream
};

// The tree value_to_json(read_marshal(bytes, options)->value) gives, or the error read_marshal
// gives. `storage` holds every node of the tree.
Result<DecodedJson, MarshalError> decode_to_json(std::span<const std::uint8_t> bytes,
                                                 boost::json::storage_ptr storage = {},
                                                 const ReadOptions& options = {});

// The tree decode_to_json gives, cut down to what `selection` names: of each dictionary on a
// selected path only the members named, in the order and with the values the whole tree has
// (a repeated key keeps its first place and its last value); a selected value, and a value on a
// path that is no dictionary, whole. A dictionary the stream shares with references is built
// whole too. Every byte is read and checked as decode_to_json reads it, so it fails on the same
// inputs with the same error; only the nodes left out are never made.
Result<DecodedJson, MarshalError> decode_selected_json(std::span<const std::uint8_t> bytes,
                                                       const MemberSelection& selection,
                                                       boost::json::storage_ptr storage = {},
                                                       const ReadOptions& options = {});

// Which of the two composed steps a failure of encode_from_json belongs to.
enum class EncodeStep : std::uint8_t {
  Rebuild,  // json_to_value would fail: the JSON is no tagged JSON (InvalidJsonEncoding)
  Encode,   // write_marshal would fail (RecursionLimit, or a size no size field carries)
};

struct EncodeFailure {
  EncodeStep step;
  MarshalError error;
};

// Writes into `out` the bytes write_marshal(json_to_value(json), options) gives, replacing what
// it held, or gives the error of the first step that fails, leaving `out` empty; a tree that
// fails both ways reports the rebuild error.
Result<void, EncodeFailure> encode_from_json(const JsonValue& json, const EncodeOptions& options,
                                             ByteOutput& out);

}  // namespace marshal
