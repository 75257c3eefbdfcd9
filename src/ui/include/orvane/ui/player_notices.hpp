// What the window program tells the player as it starts: on its standard streams where they
// reach someone, in message boxes where they do not (a Windows program started from the Start
// menu or Explorer has none).
#pragma once

#include <string>

#include "message_box.hpp"
#include "orvane/core/platform.hpp"
#include "support/result.hpp"

namespace orvane::ui {

// On standard error, else in a box; a failure's box waits for the player.
void tell(Platform& platform, MessageKind kind, const std::string& text);
// "Error: <text>" on standard error, else a box saying the program could not start, with
// `advice` below the cause.
void tell_start_failure(Platform& platform, const std::string& text,
                        const std::string& advice = "");
// The usage: asked for (--help) on standard output, else on standard error as a failure; in a
// box where that stream is missing.
void tell_usage(Platform& platform, bool asked);
// What to do about a port that could not be taken; nothing for one the system chose.
std::string port_advice(unsigned short port);
// The page's address on standard output; without one, and without a browser to show the page,
// in a box that stays up while the program serves. The error names a failed write.
Result<void, std::string> tell_address(Platform& platform, const std::string& address,
                                       bool browser_opens);

}  // namespace orvane::ui
