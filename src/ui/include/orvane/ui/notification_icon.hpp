// The window program's icon in the notification area (Windows): "Open the page", its default
// action, also taken on a double-click of the icon, and "Quit". Elsewhere there is none: the
// page's Quit button and the terminal end the program there.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "support/result.hpp"

namespace orvane::ui {

// How the player ends the program, for the line that says it is serving.
extern const std::string_view QUIT_HINT;

// What the icon's menu offers, and what the icon's own events ask for.
enum class TrayAction { None, OpenPage, ShowMenu, Quit };

class NotificationIcon {
 public:
  struct Actions {
    std::function<void()> open_page;
    // Asked to end the program; the program ends once the request in progress is answered.
    std::function<void()> quit;
  };

  // Shows the icon, served by a thread of its own, until the object is destroyed. The actions
  // run on that thread. Fails only when the window behind the icon cannot be made; an icon the
  // notification area does not take (none runs yet) is added once it starts.
  static support::Result<std::unique_ptr<NotificationIcon>, std::string> show(Actions actions);
  // Removes the icon. A system shutdown that asked the program to end is told it has.
  ~NotificationIcon();
  NotificationIcon(const NotificationIcon&) = delete;
  NotificationIcon& operator=(const NotificationIcon&) = delete;

  // Takes `action` as if the player had chosen it on the icon, and returns once it has run.
  void choose(TrayAction action);

  struct State;  // the window and its thread, defined where the icon is

 private:
  explicit NotificationIcon(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace orvane::ui
