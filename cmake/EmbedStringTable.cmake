# Turns a string-table data file into a C++ source that defines
# marshal::detail::string_table_rows().
#
# Run as: cmake -DINPUT=<table.txt> -DOUTPUT=<table.cpp> -P EmbedStringTable.cmake
#
# Format of the data file:
#   - One row per line, row 1 on the first line. A line ends at LF; a CR right before the LF is
#     dropped, so the file may be saved with CRLF endings.
#   - Every line is a row: an empty line is an empty row, and spaces are part of the row.
#     There are no comments (a row may well start with '#').
#   - A final line without a line end is still a row; a line end at the very end of the file
#     does not start another row. An empty file holds no rows.
#   - Backslash escapes: \xHH (exactly two hex digits, either case) stands for the byte HH and
#     \\ for one backslash. Any other backslash is an error. Write bytes that are not printable
#     ASCII, and a CR that belongs to a row, as \xHH.
#   - At most 195 rows. Rows the file does not hold are unknown to the build.
#
# The file is read as hex so that no byte (';', '[', '"', '$', NUL, ...) means anything to CMake.
# Every byte of a row is written as a \xHH escape inside a string_view literal, so rows may hold
# any byte, NUL included.

cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED INPUT OR NOT DEFINED OUTPUT)
  message(FATAL_ERROR "EmbedStringTable.cmake needs -DINPUT=<table.txt> -DOUTPUT=<table.cpp>")
endif()

set(_max_rows 195)

file(READ "${INPUT}" _hex HEX)
string(TOLOWER "${_hex}" _hex)
string(LENGTH "${_hex}" _hex_length)
math(EXPR _byte_count "${_hex_length} / 2")

# Decodes the hex digit character with code 0xHH ("30".."39", "41".."46", "61".."66") into its
# value, or sets the result to "" when the byte is not a hex digit.
function(_hex_digit_value byte out_var)
  math(EXPR _code "0x${byte}")
  if(_code GREATER_EQUAL 48 AND _code LESS_EQUAL 57)
    math(EXPR _value "${_code} - 48")
  elseif(_code GREATER_EQUAL 97 AND _code LESS_EQUAL 102)
    math(EXPR _value "${_code} - 87")
  elseif(_code GREATER_EQUAL 65 AND _code LESS_EQUAL 70)
    math(EXPR _value "${_code} - 55")
  else()
    set(_value "")
  endif()
  set(${out_var} "${_value}" PARENT_SCOPE)
endfunction()

set(_body "")
set(_row "")          # the current row as C++ escapes
set(_row_number 1)
set(_row_open FALSE)  # a row has begun on the current line
set(_i 0)
while(_i LESS _byte_count)
  math(EXPR _pos "${_i} * 2")
  string(SUBSTRING "${_hex}" ${_pos} 2 _byte)
  math(EXPR _i "${_i} + 1")

  if(_byte STREQUAL "0d")
    # A CR counts only as part of a CRLF line end.
    set(_next "")
    if(_i LESS _byte_count)
      math(EXPR _pos "${_i} * 2")
      string(SUBSTRING "${_hex}" ${_pos} 2 _next)
    endif()
    if(_next STREQUAL "0a")
      continue()
    endif()
    message(FATAL_ERROR "${INPUT}: row ${_row_number}: a bare CR; write it as \\x0D")
  endif()

  if(_byte STREQUAL "0a")
    if(_row_number GREATER _max_rows)
      message(FATAL_ERROR "${INPUT}: more than ${_max_rows} rows")
    endif()
    string(APPEND _body "    \"${_row}\"sv,  // row ${_row_number}\n")
    set(_row "")
    set(_row_open FALSE)
    math(EXPR _row_number "${_row_number} + 1")
    continue()
  endif()

  set(_row_open TRUE)
  if(_byte STREQUAL "5c")  # backslash
    if(NOT _i LESS _byte_count)
      message(FATAL_ERROR "${INPUT}: row ${_row_number}: a backslash at the end of the file")
    endif()
    math(EXPR _pos "${_i} * 2")
    string(SUBSTRING "${_hex}" ${_pos} 2 _escape)
    math(EXPR _i "${_i} + 1")
    if(_escape STREQUAL "5c")
      set(_byte "5c")
    elseif(_escape STREQUAL "78")  # x
      math(EXPR _remaining "${_byte_count} - ${_i}")
      if(_remaining LESS 2)
        message(FATAL_ERROR "${INPUT}: row ${_row_number}: \\x needs two hex digits")
      endif()
      math(EXPR _pos "${_i} * 2")
      string(SUBSTRING "${_hex}" ${_pos} 2 _high)
      math(EXPR _pos "${_pos} + 2")
      string(SUBSTRING "${_hex}" ${_pos} 2 _low)
      math(EXPR _i "${_i} + 2")
      _hex_digit_value(${_high} _high_value)
      _hex_digit_value(${_low} _low_value)
      if(_high_value STREQUAL "" OR _low_value STREQUAL "")
        message(FATAL_ERROR "${INPUT}: row ${_row_number}: \\x needs two hex digits")
      endif()
      math(EXPR _value "${_high_value} * 16 + ${_low_value}" OUTPUT_FORMAT HEXADECIMAL)
      # OUTPUT_FORMAT HEXADECIMAL gives "0x5" for 5: keep two digits.
      string(SUBSTRING "${_value}" 2 -1 _byte)
      string(LENGTH "${_byte}" _digits)
      if(_digits LESS 2)
        set(_byte "0${_byte}")
      endif()
      string(TOLOWER "${_byte}" _byte)
    else()
      message(FATAL_ERROR "${INPUT}: row ${_row_number}: unknown escape; use \\xHH or \\\\")
    endif()
  endif()
  string(APPEND _row "\\x${_byte}")
endwhile()

if(_row_open)
  if(_row_number GREATER _max_rows)
    message(FATAL_ERROR "${INPUT}: more than ${_max_rows} rows")
  endif()
  string(APPEND _body "    \"${_row}\"sv,  // row ${_row_number}\n")
endif()

get_filename_component(_input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${_input_name} by cmake/EmbedStringTable.cmake; do not edit.
#include <string_view>
#include <vector>

#include \"string_table.hpp\"

namespace marshal::detail {

using namespace std::string_view_literals;

const std::vector<std::string_view>& string_table_rows() {
  static const std::vector<std::string_view> rows = {
${_body}  };
  return rows;
}

}  // namespace marshal::detail
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
