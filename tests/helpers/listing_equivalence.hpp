// The whole decode against the selective one, as a listing sees them: the same formations (ids,
// names, probes, order), the same count towards the limit and the same selected id, or the same
// error. Shared by the differential tests and the listing scan's fuzz target.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "marshal/json.hpp"
#include "marshal/reader.hpp"

namespace orvane::testing {

// What a listing reads of a settings tree, one line per item.
std::string listing_text(const marshal::JsonValue& root);

// Empty when decode_to_json and decode_selected_json of the formations' members agree on
// `bytes`; otherwise what differs.
std::string listing_mismatch(std::span<const std::uint8_t> bytes,
                             const marshal::ReadOptions& options = {});

}  // namespace orvane::testing
