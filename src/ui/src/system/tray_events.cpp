#include "orvane/ui/tray_events.hpp"

namespace orvane::ui {

TrayAction tray_action_for_icon_event(UINT event) {
  switch (event) {
    // A double-click, or Enter or the space bar on the icon chosen with the keyboard.
    case WM_LBUTTONDBLCLK:
    case NIN_SELECT:
    case NIN_KEYSELECT:
      return TrayAction::OpenPage;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
      return TrayAction::ShowMenu;
    default:
      return TrayAction::None;
  }
}

TrayAction tray_action_for_command(UINT command) {
  if (command == COMMAND_OPEN_PAGE) return TrayAction::OpenPage;
  if (command == COMMAND_QUIT) return TrayAction::Quit;
  return TrayAction::None;
}

UINT command_for_tray_action(TrayAction action) {
  switch (action) {
    case TrayAction::OpenPage:
      return COMMAND_OPEN_PAGE;
    case TrayAction::Quit:
      return COMMAND_QUIT;
    case TrayAction::None:
    case TrayAction::ShowMenu:
      return 0;
  }
  return 0;
}

}  // namespace orvane::ui
