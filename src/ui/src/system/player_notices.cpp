#include "orvane/ui/player_notices.hpp"

#include "orvane/ui/options.hpp"

namespace orvane::ui {
namespace {

bool has_stderr() { return has_standard_stream(StandardStream::Error); }
bool has_stdout() { return has_standard_stream(StandardStream::Output); }

// Ctrl+C copies a box's text on Windows, address included.
std::string address_note(const std::string& address, const std::string& why) {
  return why + "Open this address in your web browser:\n\n" + address +
         "\n\nOr choose \"Open the page\" on the program's icon in the notification area.";
}

}  // namespace

void tell(Platform& platform, MessageKind kind, const std::string& text) {
  if (has_stderr()) return platform.write_stderr(text);
  show_message_box(kind, text, kind == MessageKind::Failure);
}

void tell_start_failure(Platform& platform, const std::string& text, const std::string& advice) {
  if (has_stderr()) return platform.write_stderr("Error: " + text + "\n");
  show_message_box(MessageKind::Failure,
                   std::string(PRODUCT_NAME) + " could not start:\n\n" + text +
                       (advice.empty() ? "" : "\n\n" + advice),
                   true);
}

void tell_usage(Platform& platform, bool asked) {
  if (!asked) return tell(platform, MessageKind::Failure, std::string(UI_USAGE_TEXT));
  if (!has_stdout()) return show_message_box(MessageKind::Information, UI_USAGE_TEXT, true);
  (void)platform.write_stdout(UI_USAGE_TEXT);
}

// The system's own words for a port in use can be as little as an error number.
std::string port_advice(unsigned short port) {
  if (port == 0) return "";
  return "Another program may be using port " + std::to_string(port) +
         ". Without --port the program takes a free one.";
}

Result<void, std::string> tell_address(Platform& platform, const std::string& address,
                                       bool browser_opens) {
  if (has_stdout()) {
    if (auto printed = platform.write_stdout(address + "\n"); !printed) {
      return unexpected("write standard output: " + platform.os_error_text(printed.error()));
    }
  } else if (!browser_opens) {
    show_message_box(MessageKind::Information, address_note(address, ""), false);
  }
  return {};
}

}  // namespace orvane::ui
