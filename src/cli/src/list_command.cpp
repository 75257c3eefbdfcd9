#include <string>

#include "orvane/cli/commands.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings_view.hpp"

namespace orvane {

Result<void, std::string> run_list(Platform& platform, const std::string& settings_path) {
  auto loaded = load_settings_view(platform, settings_path);
  if (!loaded) return loaded.take_error();
  const std::vector<Formation> formations = read_formations(loaded->tree);

  // One write for the whole listing: it is short, and a half-printed list helps nobody.
  std::string out = std::to_string(formations.size()) + " formation(s)\n";
  for (const Formation& f : formations) {
    out += f.name;
    out += '\t';
    out += std::to_string(f.probes.size());
    out += " probe(s)\n";
  }
  return print_output(platform, out);
}

}  // namespace orvane
