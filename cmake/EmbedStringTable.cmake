# Turns marshal/data/string_table.txt (row 1 on the first line) into a C++ source file.
# Run as: cmake -DINPUT=... -DOUTPUT=... -P EmbedStringTable.cmake
file(STRINGS "${INPUT}" _rows ENCODING UTF-8)
set(_body "")
foreach(_row IN LISTS _rows)
  string(REPLACE "\\" "\\\\" _row "${_row}")
  string(REPLACE "\"" "\\\"" _row "${_row}")
  string(APPEND _body "    \"${_row}\",\n")
endforeach()
file(WRITE "${OUTPUT}.tmp"
"// Generated from marshal/data/string_table.txt by cmake/EmbedStringTable.cmake; do not edit.
#include \"string_table.hpp\"

namespace marshal::detail {

const std::vector<std::string_view>& string_table_rows() {
  static const std::vector<std::string_view> rows = {
${_body}  };
  return rows;
}

}  // namespace marshal::detail
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
