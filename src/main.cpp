#include "cli.hpp"
#include "platform.hpp"

int main(int argc, char** argv) {
  auto platform = orvane::make_native_platform();
  return orvane::run_program(*platform, argc, argv);
}
