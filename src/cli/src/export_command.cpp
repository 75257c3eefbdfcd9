#include <cstdint>
#include <span>
#include <string>

#include "marshal/reader.hpp"
#include "orvane/cli/commands.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/package.hpp"
#include "orvane/core/settings_view.hpp"

namespace orvane {
namespace {

// A package path that names a settings file, the source itself or another account's, would lose
// that file's settings with no backup to go back to.
Result<void, std::string> refuse_settings_file(Platform& platform, const std::string& settings_path,
                                               const std::string& package_path) {
  const std::optional<FileFacts> existing = platform.examine_file(package_path);
  if (!existing) return {};
  const std::optional<FileFacts> source = platform.examine_file(settings_path);
  bool is_settings = source && source->identity == existing->identity;
  // Only a plain file is read: a pipe or a device could block or be drained by the look.
  if (!is_settings && existing->regular) {
    auto bytes = platform.read_file(package_path);
    is_settings = bytes && marshal::has_marshal_header(*bytes);
  }
  if (is_settings) {
    return unexpected("write " + package_path + ": not replacing a settings file with a package");
  }
  return {};
}

}  // namespace

Result<void, std::string> run_export(Platform& platform, const std::string& settings_path,
                                     const std::string& package_path) {
  Package package;
  {
    auto loaded = load_settings_view(platform, settings_path);
    if (!loaded) return loaded.take_error();
    package.format = std::string(PACKAGE_FORMAT);
    package.version = PACKAGE_VERSION;
    package.formations = read_formations(loaded->tree);
  }
  if (auto refused = refuse_settings_file(platform, settings_path, package_path); !refused) {
    return refused;
  }
  const std::string text = write_package_json(package);
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size());
  auto written = platform.write_file(package_path, bytes);
  // The package path is not repeated here: the operands already name it.
  if (!written) return unexpected(platform.os_error_text(written.error().os));
  return print_output(platform,
                      "Exported " + std::to_string(package.formations.size()) + " formation(s)\n");
}

}  // namespace orvane
