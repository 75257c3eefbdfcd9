// No notification area to show an icon in: the object does nothing but run what is chosen.
#include "orvane/ui/notification_icon.hpp"

namespace orvane::ui {

const std::string_view QUIT_HINT = "Quit on the page, or press Ctrl+C, to end.";

struct NotificationIcon::State {
  Actions actions;
};

support::Result<std::unique_ptr<NotificationIcon>, std::string> NotificationIcon::show(
    Actions actions) {
  return std::unique_ptr<NotificationIcon>(
      new NotificationIcon(std::make_unique<State>(State{std::move(actions)})));
}

NotificationIcon::NotificationIcon(std::unique_ptr<State> state) : state_(std::move(state)) {}
NotificationIcon::~NotificationIcon() = default;

void NotificationIcon::choose(TrayAction action) {
  if (action == TrayAction::OpenPage) state_->actions.open_page();
  if (action == TrayAction::Quit) state_->actions.quit();
}

}  // namespace orvane::ui
