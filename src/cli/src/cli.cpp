#include "orvane/cli/cli.hpp"

#include <array>
#include <cstddef>
#include <exception>
#include <new>

#include "orvane/cli/commands.hpp"
#include "orvane/cli/wildcards.hpp"

namespace orvane {
namespace {

struct CommandSpec {
  std::string_view word;
  CommandKind kind;
  std::size_t min_operands;
  std::size_t max_operands;
};

constexpr std::size_t UNLIMITED = static_cast<std::size_t>(-1);

constexpr std::array<CommandSpec, 4> COMMANDS = {{
    {"list", CommandKind::List, 1, 1},
    {"export", CommandKind::Export, 2, 2},
    {"apply", CommandKind::Apply, 2, UNLIMITED},
    {"accounts", CommandKind::Accounts, 1, 1},
}};

void report_error(Platform& platform, std::string_view text) {
  platform.write_stderr("Error: " + quote_error_text(text) + "\n");
}

// Guards against a failure that escapes as an exception (memory exhausted, a size beyond a
// container's limit): it becomes an ordinary error line instead of an abort.
Result<void, std::string> run_guarded(Platform& platform, const CommandLine& command) {
  try {
    return run_command_line(platform, command);
  } catch (const std::bad_alloc&) {
    return unexpected(std::string("out of memory"));
  } catch (const std::exception& e) {
    return unexpected("unexpected failure: " + std::string(e.what()));
  }
}

// Arguments to exit status, with everything printed on the way.
int run_to_status(Platform& platform, Console& console, int argc, char** argv) {
  auto args = platform.arguments(argc, argv);
  if (!args) {
    report_error(platform, args.error());
    return EXIT_USAGE;
  }
  // Expanded before the command line is checked, as a shell would: `list dir\*.dat` that
  // matches two files is a refused command line.
  if (console.expands_wildcards()) *args = expand_wildcards(platform, *args);
  // A refused command line is an outcome like any other: the status is returned, never exited.
  const std::optional<CommandLine> command = parse_command_line(*args);
  if (!command) {
    platform.write_stderr(USAGE_TEXT);
    return EXIT_USAGE;
  }
  auto outcome = run_guarded(platform, *command);
  if (!outcome) {
    report_error(platform, outcome.error());
    return EXIT_FAILED;
  }
  return EXIT_OK;
}

}  // namespace

std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args) {
  if (args.empty()) return std::nullopt;
  for (const CommandSpec& entry : COMMANDS) {
    if (args[0] != entry.word) continue;
    const std::size_t operands = args.size() - 1;
    if (operands < entry.min_operands || operands > entry.max_operands) return std::nullopt;
    return CommandLine{entry.kind, std::vector<std::string>(args.begin() + 1, args.end())};
  }
  return std::nullopt;
}

Result<void, std::string> run_command_line(Platform& platform, const CommandLine& command) {
  const std::vector<std::string>& ops = command.operands;
  switch (command.kind) {
    case CommandKind::List:
      return run_list(platform, ops[0]);
    case CommandKind::Export:
      return run_export(platform, ops[0], ops[1]);
    case CommandKind::Apply:
      return run_apply(platform, ops[0], std::vector<std::string>(ops.begin() + 1, ops.end()));
    case CommandKind::Accounts:
      return run_accounts(platform, ops[0]);
  }
  return unexpected(std::string("unknown command"));  // unreachable: every kind is handled
}

int run_program(Platform& platform, Console& console, int argc, char** argv) {
  const int status = run_to_status(platform, console, argc, argv);
  // Otherwise the window would close with the program, before anything in it could be read.
  if (console.console_closes_on_exit()) {
    platform.write_stderr(CLOSE_PROMPT);
    console.wait_for_enter();
  }
  return status;
}

}  // namespace orvane
