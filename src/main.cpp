#include "cli.hpp"
#include "memory_policy.hpp"
#include "platform.hpp"

int main(int argc, char** argv) {
  orvane::apply_memory_policy();
  auto platform = orvane::make_native_platform();
  return orvane::run_program(*platform, argc, argv);
}
