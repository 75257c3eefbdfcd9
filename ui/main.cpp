// orvane-probe-formations-ui: serves the page on 127.0.0.1, tells its address with the
// session's token, opens it in the browser, and runs until the page's Quit button, the icon's
// Quit (Windows), Ctrl+C or a closed console window ends it.
#include <exception>
#include <new>

#include "console_close.hpp"
#include "http_server.hpp"
#include "instance_hand_over.hpp"
#include "message_box.hpp"
#include "notification_icon.hpp"
#include "options.hpp"
#include "platform.hpp"
#include "ui_app.hpp"

namespace {

using namespace orvane;
using namespace orvane::ui;

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

bool has_stderr() { return has_standard_stream(StandardStream::Error); }
bool has_stdout() { return has_standard_stream(StandardStream::Output); }

// Standard error where someone reads it; a box otherwise (a Windows program started from the
// Start menu or Explorer has no streams at all).
void tell(Platform& platform, MessageKind kind, const std::string& text) {
  if (has_stderr()) return platform.write_stderr(text);
  show_message_box(kind, text, kind == MessageKind::Failure);
}

// `advice`, shown in the box alone, tells what to do about it.
int fail(Platform& platform, const std::string& text, const std::string& advice = "") {
  if (has_stderr()) {
    platform.write_stderr("Error: " + text + "\n");
  } else {
    show_message_box(MessageKind::Failure,
                     std::string(PRODUCT_NAME) + " could not start:\n\n" + text +
                         (advice.empty() ? "" : "\n\n" + advice),
                     true);
  }
  return EXIT_FAILED;
}

// The system's own words for a port in use can be as little as an error number.
std::string port_advice(unsigned short port) {
  if (port == 0) return "";
  return "Another program may be using port " + std::to_string(port) +
         ". Without --port the program takes a free one.";
}

// Without a browser and a console the player still needs the address: a box shows it (Ctrl+C
// copies a box's text on Windows) while the program serves.
std::string address_note(const std::string& address, const std::string& why) {
  return why + "Open this address in your web browser:\n\n" + address +
         "\n\nOr choose \"Open the page\" on the program's icon in the notification area.";
}

void open_page(Platform& platform, const std::string& address) {
  if (auto opened = platform.open_in_browser(address); !opened) {
    const std::string why =
        "Could not open the browser (" + platform.os_error_text(opened.error()) + ")";
    if (has_stderr()) {
      platform.write_stderr(why + ": open the address above in it.\n");
    } else {
      show_message_box(MessageKind::Information, address_note(address, why + ".\n\n"), false);
    }
  }
}

int run(Platform& platform, int argc, char** argv) {
  auto args = platform.arguments(argc, argv);
  if (!args) return fail(platform, args.error());
  const std::optional<UiOptions> options = parse_ui_options(*args);
  if (!options) {
    tell(platform, MessageKind::Failure, std::string(UI_USAGE_TEXT));
    return EXIT_USAGE;
  }
  if (options->help) {
    if (has_stdout()) {
      (void)platform.write_stdout(UI_USAGE_TEXT);
    } else {
      show_message_box(MessageKind::Information, UI_USAGE_TEXT, true);
    }
    return EXIT_OK;
  }
  if (hand_over_to_running_instance(platform, *options)) return EXIT_OK;
  auto token = make_session_token(platform);
  if (!token) return fail(platform, token.error());

  // The app learns the port only once the server has one, so the server reaches it through
  // this pointer.
  std::unique_ptr<UiApp> app;
  auto server = HttpServer::listen(
      options->port, [&app](const HttpRequest& request) { return app->handle(request); },
      [&app] { return app->quit_requested(); });
  if (!server) return fail(platform, server.error(), port_advice(options->port));
  app = std::make_unique<UiApp>(platform, UiSession{*token, (*server)->port(), options->folder});

  const std::string address =
      "http://127.0.0.1:" + std::to_string((*server)->port()) + "/#token=" + *token;
  if (has_stdout()) {
    if (auto printed = platform.write_stdout(address + "\n"); !printed) {
      return fail(platform, "write standard output: " + platform.os_error_text(printed.error()));
    }
  }
  if (options->open_browser) {
    open_page(platform, address);
  } else if (!has_stdout()) {
    show_message_box(MessageKind::Information, address_note(address, ""), false);
  }

  HttpServer& serving = **server;
  auto icon =
      NotificationIcon::show({.open_page = [&platform, address] { open_page(platform, address); },
                              .quit = [&serving] { serving.request_stop(); }});
  if (!icon)
    tell(platform, MessageKind::Information,
         "No icon in the notification area: " + icon.error() + ".\n");
  if (has_stderr()) {
    platform.write_stderr(std::string("Serving the page at the address above. ") +
                          std::string(QUIT_HINT) + "\n");
  }
  serving.stop_on_signals();
  stop_when_console_closes(serving);
  serving.run();
  if (icon) (*icon).reset();
  console_close_done();
  if (has_stderr()) platform.write_stderr("orvane-probe-formations-ui has stopped.\n");
  return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
  auto platform = orvane::make_native_platform();
  try {
    return run(*platform, argc, argv);
  } catch (const std::bad_alloc&) {
    return fail(*platform, "out of memory");
  } catch (const std::exception& e) {
    return fail(*platform, std::string("unexpected failure: ") + e.what());
  }
}
