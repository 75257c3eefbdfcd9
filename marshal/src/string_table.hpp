// The client's fixed vocabulary addressed by the STR_TABLE tag, rows 1..195. The rows come from
// marshal/data/string_table.txt; rows the file does not hold are unknown to this build.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace marshal::detail {

inline constexpr unsigned STRING_TABLE_SIZE = 195;

// Row 1 first; may hold fewer than STRING_TABLE_SIZE rows.
const std::vector<std::string_view>& string_table_rows();

// Row `index` (1-based) when the table holds it.
inline std::optional<std::string_view> string_table_row(unsigned index) {
  const auto& rows = string_table_rows();
  if (index == 0 || index > rows.size()) return std::nullopt;
  return rows[index - 1];
}

}  // namespace marshal::detail
