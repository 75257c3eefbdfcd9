#include "orvane/cli/cli.hpp"
#include "orvane/cli/console.hpp"
#include "orvane/platform/native_platform.hpp"

int main(int argc, char** argv) {
  auto platform = orvane::make_native_platform();
  auto console = orvane::make_native_console();
  return orvane::run_program(*platform, *console, argc, argv);
}
