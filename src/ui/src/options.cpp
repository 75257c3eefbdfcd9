#include "orvane/ui/options.hpp"

#include "support/port_number.hpp"

namespace orvane::ui {

std::optional<UiOptions> parse_ui_options(const std::vector<std::string>& args) {
  UiOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--no-browser") {
      options.open_browser = false;
    } else if (arg == "--port") {
      if (++i == args.size()) return std::nullopt;
      const auto port = support::parse_port_number(args[i]);
      if (!port) return std::nullopt;
      options.port = *port;
    } else if (arg.starts_with("-") && arg != "-") {
      return std::nullopt;
    } else {
      if (options.folder) return std::nullopt;
      options.folder = arg;
    }
  }
  return options;
}

}  // namespace orvane::ui
