// The console on POSIX systems: a shell has expanded the wildcards, and a terminal outlives the
// programs started in it.
#include "orvane/cli/console.hpp"

namespace orvane {
namespace {

class PosixConsole final : public Console {
 public:
  // A `*` left in an argument was meant literally.
  bool expands_wildcards() const override { return false; }
  bool console_closes_on_exit() override { return false; }
  void wait_for_enter() override {}
};

}  // namespace

std::unique_ptr<Console> make_native_console() { return std::make_unique<PosixConsole>(); }

}  // namespace orvane
