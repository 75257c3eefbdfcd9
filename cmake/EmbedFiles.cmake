# Turns the page's files into a C++ source that defines orvane::ui::page_files(), so the window
# program carries its page inside it.
#
# Run as: cmake -DOUTPUT=<page_files.cpp> -DBASE=<folder> -DFILES=<a|b|c> -P EmbedFiles.cmake
# Each file is served at "/" followed by its path below BASE, or, given as "/<name>=<path>", at
# "/<name>", with a content type taken from its extension (.html, .css, .js, .svg). Every byte is written as a \xHH escape, so a file may hold
# any byte.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED OUTPUT OR NOT DEFINED BASE OR NOT DEFINED FILES)
  message(FATAL_ERROR "EmbedFiles.cmake needs -DOUTPUT, -DBASE and -DFILES")
endif()

string(REPLACE "|" ";" FILES "${FILES}")
set(_entries "")
set(_literals "")
set(_index 0)
foreach(_file IN LISTS FILES)
  if(_file MATCHES "^/([^=]+)=(.+)$")
    set(_served "${CMAKE_MATCH_1}")
    set(_file "${CMAKE_MATCH_2}")
  else()
    file(RELATIVE_PATH _served "${BASE}" "${_file}")
  endif()
  get_filename_component(_extension "${_file}" LAST_EXT)
  if(_extension STREQUAL ".html")
    set(_type "text/html; charset=utf-8")
  elseif(_extension STREQUAL ".css")
    set(_type "text/css; charset=utf-8")
  elseif(_extension STREQUAL ".js")
    set(_type "text/javascript; charset=utf-8")
  elseif(_extension STREQUAL ".svg")
    set(_type "image/svg+xml")
  else()
    message(FATAL_ERROR "${_file}: no content type known for \"${_extension}\"")
  endif()
  file(READ "${_file}" _hex HEX)
  # 32 bytes a line, each a \xHH escape inside a string literal.
  string(REGEX REPLACE "(................................................................)" "\\1\n"
         _lines "${_hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" _lines "${_lines}")
  string(REPLACE "\n" "\"\n    \"" _lines "${_lines}")
  string(LENGTH "${_hex}" _hex_length)
  math(EXPR _size "${_hex_length} / 2")
  string(APPEND _literals "constexpr char FILE_${_index}[] =\n    \"${_lines}\";\n")
  string(APPEND _entries
    "    {\"/${_served}\", \"${_type}\", std::string_view(FILE_${_index}, ${_size})},\n")
  math(EXPR _index "${_index} + 1")
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated from src/ui/page by cmake/EmbedFiles.cmake; do not edit.
#include <array>

#include \"page_files.hpp\"

namespace orvane::ui {
namespace {

${_literals}
constexpr std::array<PageFile, ${_index}> FILES = {{
${_entries}}};

}  // namespace

std::span<const PageFile> page_files() { return FILES; }

}  // namespace orvane::ui
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
