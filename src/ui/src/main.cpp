// orvane-probe-formations-ui: serves the page on 127.0.0.1, prints its address with the
// session's token, opens it in the browser, and runs until Ctrl+C, a closed console window or
// the page's Quit button ends it.
#include <exception>
#include <new>

#include "orvane/core/platform.hpp"
#include "orvane/platform/native_platform.hpp"
#include "orvane/ui/console_close.hpp"
#include "orvane/ui/desktop.hpp"
#include "orvane/ui/http_server.hpp"
#include "orvane/ui/options.hpp"
#include "orvane/ui/ui_app.hpp"

namespace {

using namespace orvane;
using namespace orvane::ui;

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

int fail(Platform& platform, const std::string& text) {
  platform.write_stderr("Error: " + text + "\n");
  return EXIT_FAILED;
}

int run(Platform& platform, Desktop& desktop, int argc, char** argv) {
  auto args = platform.arguments(argc, argv);
  if (!args) return fail(platform, args.error());
  const std::optional<UiOptions> options = parse_ui_options(*args);
  if (!options) {
    platform.write_stderr(UI_USAGE_TEXT);
    return EXIT_USAGE;
  }
  if (options->help) {
    (void)platform.write_stdout(UI_USAGE_TEXT);
    return EXIT_OK;
  }
  auto token = make_session_token(platform, desktop);
  if (!token) return fail(platform, token.error());

  // The app learns the port only once the server has one, so the server reaches it through
  // this pointer.
  std::unique_ptr<UiApp> app;
  auto server = HttpServer::listen(
      options->port, [&app](const HttpRequest& request) { return app->handle(request); },
      [&app] { return app->quit_requested(); });
  if (!server) return fail(platform, server.error());
  app = std::make_unique<UiApp>(platform, desktop,
                                UiSession{*token, (*server)->port(), options->folder});

  const std::string address =
      "http://127.0.0.1:" + std::to_string((*server)->port()) + "/#token=" + *token;
  if (auto printed = platform.write_stdout(address + "\n"); !printed) {
    return fail(platform, "write standard output: " + platform.os_error_text(printed.error()));
  }
  if (options->open_browser) {
    if (auto opened = desktop.open_in_browser(address); !opened) {
      platform.write_stderr("Could not open the browser (" +
                            platform.os_error_text(opened.error()) +
                            "): open the address above in it.\n");
    }
  }
  platform.write_stderr(
      "Serving the page at the address above. Quit on the page, or press Ctrl+C, to end.\n");
  (*server)->stop_on_signals();
  stop_when_console_closes(**server);
  (*server)->run();
  console_close_done();
  platform.write_stderr("orvane-probe-formations-ui has stopped.\n");
  return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
  auto platform = orvane::make_native_platform();
  auto desktop = orvane::ui::make_native_desktop();
  try {
    return run(*platform, *desktop, argc, argv);
  } catch (const std::bad_alloc&) {
    return fail(*platform, "out of memory");
  } catch (const std::exception& e) {
    return fail(*platform, std::string("unexpected failure: ") + e.what());
  }
}
