// A folder as a player types or pastes it, turned into the path the system opens: Explorer's
// "Copy as path" puts it in quotes, and players write %LOCALAPPDATA% or ~ as their shells do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "orvane/core/platform.hpp"
#include "orvane/ui/desktop.hpp"

namespace orvane::ui {

// What the shorthand a player may type stands for on this system; unset, it stays as typed.
struct FolderPlaces {
  std::optional<std::string> local_app_data;  // %LOCALAPPDATA%, on Windows
  std::optional<std::string> home;            // ~, on systems without drives
};

FolderPlaces folder_places(Desktop& desktop);

// Blanks around the path and one pair of matching quotes go; %LOCALAPPDATA% (any letter case)
// or ~ at the start, alone or before a separator, is replaced by the folder it stands for.
std::string understood_folder(std::string_view typed, const FolderPlaces& places);

}  // namespace orvane::ui
