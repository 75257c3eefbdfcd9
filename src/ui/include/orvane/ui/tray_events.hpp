// What the notification-area icon's events and its menu's commands ask for (Windows).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs; it names the icon's keyboard events.
#include <shellapi.h>

#include "notification_icon.hpp"

namespace orvane::ui {

// The menu's commands, as WM_COMMAND identifiers.
inline constexpr UINT COMMAND_OPEN_PAGE = 1;
inline constexpr UINT COMMAND_QUIT = 2;

// `event`: the mouse or keyboard message the icon's callback carries in its lParam.
TrayAction tray_action_for_icon_event(UINT event);
// `command`: a menu command's identifier, or 0 when the menu was dismissed.
TrayAction tray_action_for_command(UINT command);
// The identifier of the command that takes `action`, 0 for none.
UINT command_for_tray_action(TrayAction action);

}  // namespace orvane::ui
