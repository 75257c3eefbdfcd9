#include "download_name.hpp"

#include "marshal/utf8.hpp"
#include "support/ascii.hpp"

namespace orvane::ui {
namespace {

// Long names are cut short so the name with its count stays well within any file system's limit.
constexpr std::size_t MAX_NAME_BYTES = 60;
constexpr std::string_view FORBIDDEN = "<>:\"/\\|?*";

bool is_control(char32_t c) { return c < 0x20 || c == 0x7F; }

// The formation's name with every character Windows refuses in a file name as '_', without
// the blanks and dots it drops at the ends.
std::string file_name_part(std::string_view name) {
  std::string out;
  std::size_t i = 0;
  while (i < name.size()) {
    const marshal::Utf8Char c = marshal::decode_utf8_at(name, i);
    const std::size_t length = c.length == 0 ? 1 : c.length;
    if (out.size() + length > MAX_NAME_BYTES) break;
    const bool forbidden =
        c.length == 0 || is_control(c.code_point) ||
        (c.code_point < 0x80 &&
         FORBIDDEN.find(static_cast<char>(c.code_point)) != std::string_view::npos);
    if (forbidden) {
      out += '_';
    } else {
      out.append(name.substr(i, length));
    }
    i += length;
  }
  const auto is_trimmed = [](char c) { return c == ' ' || c == '.'; };
  while (!out.empty() && is_trimmed(out.back())) out.pop_back();
  std::size_t start = 0;
  while (start < out.size() && is_trimmed(out[start])) ++start;
  return out.substr(start);
}

bool is_attr_char(char c) {
  return support::is_digit(c) || support::is_letter(c) ||
         std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

std::string package_file_name(const std::vector<Formation>& formations) {
  std::string first = formations.empty() ? std::string() : file_name_part(formations[0].name);
  if (first.empty()) first = "formations";
  if (formations.size() > 1) first += " + " + std::to_string(formations.size() - 1) + " more";
  return first + ".json";
}

std::string attachment_header(std::string_view file_name) {
  std::string plain;
  std::string encoded;
  std::size_t i = 0;
  while (i < file_name.size()) {
    const marshal::Utf8Char c = marshal::decode_utf8_at(file_name, i);
    const std::size_t length = c.length == 0 ? 1 : c.length;
    const bool printable = length == 1 && !is_control(c.code_point) && c.code_point < 0x80;
    plain += printable && file_name[i] != '"' && file_name[i] != '\\' ? file_name[i] : '_';
    i += length;
  }
  for (const char c : file_name) {
    if (is_attr_char(c)) {
      encoded += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += support::hex_digit(byte >> 4);
      encoded += support::hex_digit(byte);
    }
  }
  return "attachment; filename=\"" + plain + "\"; filename*=UTF-8''" + encoded;
}

}  // namespace orvane::ui
