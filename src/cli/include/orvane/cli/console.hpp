// What only a console program asks of the system: the wildcard expansion no shell did for it,
// and the console window that goes away the moment it ends.
#pragma once

#include <memory>

namespace orvane {

class Console {
 public:
  virtual ~Console() = default;

  // True where no shell expands `*` and `?` in the command line (Windows), so the program has
  // to do it itself.
  virtual bool expands_wildcards() const = 0;
  // True when the console goes away as soon as the program ends and standard input is that
  // console: a console opened for this process alone, as a double-click in Explorer does.
  virtual bool console_closes_on_exit() = 0;
  // Returns once the player pressed Enter, or standard input ended or failed.
  virtual void wait_for_enter() = 0;
};

// The console of the system the program was built for.
std::unique_ptr<Console> make_native_console();

}  // namespace orvane
