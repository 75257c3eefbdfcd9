// The window program's command line: [--port N] [--no-browser] [<settings folder>].
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/result.hpp"

namespace orvane::ui {

inline constexpr std::string_view UI_USAGE_TEXT =
    "Usage:\n"
    "  orvane-probe-formations-ui [--port N] [--no-browser] [<settings folder>]\n"
    "Shows every account's formations in your web browser, where you can copy them between\n"
    "accounts and undo a copy. Close the game client first.\n";

struct UiOptions {
  unsigned short port = 0;  // 0: a free port
  bool open_browser = true;
  bool help = false;
  std::optional<std::string> folder;
};

// The options of `args` (program name excluded), or nothing when the usage must be shown.
std::optional<UiOptions> parse_ui_options(const std::vector<std::string>& args);

}  // namespace orvane::ui
