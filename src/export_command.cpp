#include <cstdint>
#include <span>
#include <string>

#include "commands.hpp"
#include "formations.hpp"
#include "package.hpp"
#include "settings.hpp"

namespace orvane {

Result<void, std::string> run_export(Platform& platform, const std::string& settings_path,
                                     const std::string& package_path) {
  Package package;
  {
    auto loaded = load_settings(platform, settings_path);
    if (!loaded) return loaded.take_error();
    package.format = std::string(PACKAGE_FORMAT);
    package.version = PACKAGE_VERSION;
    package.formations = read_formations(loaded->tree);
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
