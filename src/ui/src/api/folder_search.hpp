// Finding the client's settings folders on this machine: folders named settings_* that hold
// account files, under the local application data folder on Windows and, on Linux, in the Wine
// and Proton prefixes where the Windows client runs. The search is bounded in depth, in folders
// visited and in time, and never follows a link to a folder, so a prefix's links into the home
// folder cannot lead it astray.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "orvane/core/platform.hpp"
#include "orvane/ui/desktop.hpp"

namespace orvane::ui {

struct FolderSearchLimits {
  std::size_t max_depth = 8;  // folders below a starting point
  std::size_t max_folders = 20000;
  std::chrono::milliseconds max_time{3000};
};

// Where the search starts: those of the starting points that are folders.
std::vector<std::string> settings_search_roots(Platform& platform, Desktop& desktop);
// The settings folders below `roots`, nearest first.
std::vector<std::string> find_settings_folders(Platform& platform, Desktop& desktop,
                                               const std::vector<std::string>& roots,
                                               const FolderSearchLimits& limits = {});

}  // namespace orvane::ui
