// The browser opens the page through a small file of this user's that forwards to the page's
// address, so that the token never stands on a command line, which every local user can read.
#pragma once

#include <string>
#include <string_view>

#include "orvane/core/platform.hpp"
#include "orvane/ui/desktop.hpp"
#include "support/result.hpp"

namespace orvane::ui {

// The forwarding page for `address`, with a link for a browser that does not follow it.
std::string redirect_page(std::string_view address);

// Writes the forwarding file in `data_folder`, readable only by this user, and opens it in the
// default browser. The error says what failed.
Result<void, std::string> open_through_redirect(Platform& platform, Desktop& desktop,
                                                const std::string& data_folder,
                                                std::string_view address);

// Removes the forwarding file if it still forwards to `address`.
void remove_redirect(Platform& platform, const std::string& data_folder, std::string_view address);

}  // namespace orvane::ui
