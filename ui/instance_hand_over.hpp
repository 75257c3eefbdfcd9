// A second start of the window program for the same player hands over to the one running.
#pragma once

#include "options.hpp"
#include "platform.hpp"

namespace orvane::ui {

// When the window program already runs for this player, shows its page (in the browser, or
// its address where `options` ask for no browser) and returns true: this start then ends at
// once. False when none runs, and this start serves the page itself.
bool hand_over_to_running_instance(Platform& platform, const UiOptions& options);

}  // namespace orvane::ui
