#include "orvane/core/account_files.hpp"

#include "marshal/utf8.hpp"

namespace orvane {
namespace {

// A backslash is an ordinary file-name character outside Windows.
#ifdef _WIN32
constexpr std::string_view PATH_SEPARATORS = "/\\";
#else
constexpr std::string_view PATH_SEPARATORS = "/";
#endif

std::size_t file_name_start(std::string_view path) {
  const std::size_t sep = path.find_last_of(PATH_SEPARATORS);
  return sep == std::string_view::npos ? 0 : sep + 1;
}

// Position of the "." that starts the file name's extension, if it has one. A leading dot
// belongs to the name itself (".dat" has none).
std::optional<std::size_t> extension_dot(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return dot;
}

}  // namespace

std::string backup_path_for(const std::string& path) {
  const std::size_t start = file_name_start(path);
  const std::optional<std::size_t> dot = extension_dot(std::string_view(path).substr(start));
  std::string backup = dot ? path.substr(0, start + *dot) : path;
  backup += '.';
  backup += BACKUP_EXTENSION;
  return backup;
}

std::optional<std::string> account_label(const std::string& path) {
  const std::string_view name = std::string_view(path).substr(file_name_start(path));
  if (name.empty()) return std::nullopt;
  const std::optional<std::size_t> dot = extension_dot(name);
  const std::string_view stem = dot ? name.substr(0, *dot) : name;
  if (!marshal::is_valid_utf8(stem) || stem.size() < ACCOUNT_FILE_PREFIX.size() ||
      !stem.starts_with(ACCOUNT_FILE_PREFIX)) {
    return std::nullopt;
  }
  return std::string(stem.substr(ACCOUNT_FILE_PREFIX.size()));
}

bool is_account_file_name(std::string_view name) {
  return marshal::is_valid_utf8(name) && name.size() >= ACCOUNT_FILE_PREFIX.size() &&
         name.starts_with(ACCOUNT_FILE_PREFIX) && name.ends_with(ACCOUNT_FILE_SUFFIX) &&
         name.find("__") == std::string_view::npos;
}

}  // namespace orvane
