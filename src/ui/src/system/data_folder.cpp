#include "orvane/ui/data_folder.hpp"

namespace orvane::ui {

std::optional<std::string> program_data_folder(Platform& platform, Desktop& desktop) {
  auto state = desktop.state_folder();
  if (!state) return std::nullopt;
#ifdef _WIN32
  return platform.join_path(*state, "Orvane Probe Formations");
#else
  return platform.join_path(*state, "orvane-probe-formations");
#endif
}

Result<std::string, std::string> make_program_data_folder(Platform& platform, Desktop& desktop) {
  auto folder = program_data_folder(platform, desktop);
  if (!folder) return unexpected(std::string("data folder: the system names no home folder"));
  if (auto made = desktop.create_private_folder(*folder); !made) {
    return unexpected("data folder " + *folder + ": " + platform.os_error_text(made.error()));
  }
  return *folder;
}

}  // namespace orvane::ui
