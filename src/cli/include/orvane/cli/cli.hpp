// The entry point's logic: dispatch on the command word, report a failure as one quoted line,
// and map outcomes to exit statuses.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/cli/console.hpp"
#include "orvane/core/platform.hpp"

namespace orvane {

inline constexpr std::string_view USAGE_TEXT =
    "Usage:\n"
    "  orvane-probe-formations list <core_user.dat>\n"
    "  orvane-probe-formations export <core_user.dat> <package.json>\n"
    "  orvane-probe-formations apply <package.json> <target-core_user.dat> "
    "[target-core_user.dat ...]\n"
    "  orvane-probe-formations accounts <settings_Default>\n";

// Shown, on standard error, when the program's console would close the moment it ends: a
// double-click, which is how players who never open a console start it, so they learn of the
// program made for them.
inline constexpr std::string_view CLOSE_PROMPT =
    "To see and copy formations in your web browser, start orvane-probe-formations-ui instead.\n"
    "Press Enter to close this window.";

inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;
inline constexpr int EXIT_USAGE = 2;

enum class CommandKind { List, Export, Apply, Accounts };

struct CommandLine {
  CommandKind kind;
  std::vector<std::string> operands;  // the arguments after the command word
};

// The command `args` (program name excluded) names with an accepted number of operands, or
// nothing when the usage must be shown instead.
std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args);
Result<void, std::string> run_command_line(Platform& platform, const CommandLine& command);

// `text` between double quotes with the escapes of the error line.
std::string quote_error_text(std::string_view text);

// The whole program: arguments to exit status. In a console that closes when the program ends,
// it then waits for Enter, so the player can read what it printed.
int run_program(Platform& platform, Console& console, int argc, char** argv);

}  // namespace orvane
