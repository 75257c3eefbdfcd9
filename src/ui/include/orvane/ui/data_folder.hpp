// The window program's own data folder for this user: restore points, account names and the
// address of the running instance live there, never in a settings folder.
#pragma once

#include <optional>
#include <string>

#include "orvane/ui/desktop.hpp"
#include "support/result.hpp"

namespace orvane::ui {

// "Orvane Probe Formations" in the local application data folder on Windows;
// "orvane-probe-formations" in the state folder elsewhere. Nothing when the system names none.
std::optional<std::string> program_data_folder(Platform& platform, Desktop& desktop);
// The same folder, made (readable only by this user) if it is missing. The error text names the
// folder and the cause.
Result<std::string, std::string> make_program_data_folder(Platform& platform, Desktop& desktop);

}  // namespace orvane::ui
