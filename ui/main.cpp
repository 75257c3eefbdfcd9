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
#include "player_notices.hpp"
#include "ui_app.hpp"

namespace {

using namespace orvane;
using namespace orvane::ui;

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

bool has_stderr() { return has_standard_stream(StandardStream::Error); }

int fail(Platform& platform, const std::string& text, const std::string& advice = "") {
  tell_start_failure(platform, text, advice);
  return EXIT_FAILED;
}

int run(Platform& platform, int argc, char** argv) {
  auto args = platform.arguments(argc, argv);
  if (!args) return fail(platform, args.error());
  const std::optional<UiOptions> options = parse_ui_options(*args);
  if (!options || options->help) {
    tell_usage(platform, options.has_value());
    return options ? EXIT_OK : EXIT_USAGE;
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
  if (auto told = tell_address(platform, address, options->open_browser); !told) {
    return fail(platform, told.error());
  }
  if (options->open_browser) open_page(platform, address);

  HttpServer& serving = **server;
  auto icon =
      NotificationIcon::show({.open_page = [&platform, address] { open_page(platform, address); },
                              .quit = [&serving] { serving.request_stop(); }});
  if (!icon) {
    tell(platform, MessageKind::Information,
         "No icon in the notification area: " + icon.error() + ".\n");
  }
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
