// orvane-probe-formations-ui: serves the page on 127.0.0.1, tells its address with the
// session's token, opens it in the browser, and runs until the page's Quit button, the icon's
// Quit (Windows), Ctrl+C or a closed console window ends it. A start while another run of this
// user's serves opens that run's page instead, and ends.
#include <exception>
#include <new>

#include "orvane/core/platform.hpp"
#include "orvane/platform/native_platform.hpp"
#include "orvane/ui/browser_redirect.hpp"
#include "orvane/ui/console_close.hpp"
#include "orvane/ui/data_folder.hpp"
#include "orvane/ui/http_server.hpp"
#include "orvane/ui/instance.hpp"
#include "orvane/ui/instance_answer.hpp"
#include "orvane/ui/message_box.hpp"
#include "orvane/ui/notification_icon.hpp"
#include "orvane/ui/options.hpp"
#include "orvane/ui/player_notices.hpp"
#include "orvane/ui/ui_app.hpp"

namespace {

using namespace orvane;
using namespace orvane::ui;

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// Long enough for a run busy with a large apply to finish it and answer.
constexpr std::chrono::seconds ANSWER_TIMEOUT{10};

bool has_stderr() { return has_standard_stream(StandardStream::Error); }

int fail(Platform& platform, const std::string& text, const std::string& advice = "") {
  tell_start_failure(platform, text, advice);
  return EXIT_FAILED;
}

void open_page(Platform& platform, Desktop& desktop,
               const Result<std::string, std::string>& data_folder, const std::string& address) {
  auto opened = data_folder ? open_through_redirect(platform, desktop, *data_folder, address)
                            : Result<void, std::string>(unexpected(data_folder.error()));
  if (!opened) {
    tell(platform, MessageKind::Information,
         "Could not open the browser (" + opened.error() + "): open " + address + " in it.\n");
  }
}

// The page of the run already serving, in place of a second server.
int hand_over(Platform& platform, Desktop& desktop, const UiOptions& options,
              const Result<std::string, std::string>& data_folder, const InstanceRecord& running) {
  const std::string address = page_address(running);
  if (auto told = tell_address(platform, address, options.open_browser); !told) {
    return fail(platform, told.error());
  }
  if (options.open_browser) open_page(platform, desktop, data_folder, address);
  std::string note =
      "orvane-probe-formations-ui is already running: its page is at the address "
      "above";
  if (options.folder) note += "; pick the folder " + *options.folder + " there";
  if (has_stderr()) platform.write_stderr(note + ".\n");
  return EXIT_OK;
}

int run(Platform& platform, Desktop& desktop, int argc, char** argv) {
  auto args = platform.arguments(argc, argv);
  if (!args) return fail(platform, args.error());
  const std::optional<UiOptions> options = parse_ui_options(*args);
  if (!options || options->help) {
    tell_usage(platform, options.has_value());
    return options ? EXIT_OK : EXIT_USAGE;
  }

  // Without its data folder the program still serves, but cannot be found by a later start.
  const auto data_folder = make_program_data_folder(platform, desktop);
  if (data_folder) {
    const auto answers = [](const InstanceRecord& record) {
      return instance_answers(record, ANSWER_TIMEOUT);
    };
    if (auto running = find_running_instance(platform, desktop, *data_folder, answers)) {
      return hand_over(platform, desktop, *options, data_folder, *running);
    }
  }

  auto token = make_session_token(platform, desktop);
  if (!token) return fail(platform, token.error());

  // The app learns the port only once the server has one, so the server reaches it through
  // this pointer.
  std::unique_ptr<UiApp> app;
  auto server = HttpServer::listen(
      options->port, {[&app](const HttpRequest& request) { return app->screen(request); },
                      [&app](const HttpRequest& request) { return app->handle(request); },
                      [&app] { return app->quit_requested(); }});
  if (!server) return fail(platform, server.error(), port_advice(options->port));
  app = std::make_unique<UiApp>(platform, desktop,
                                UiSession{*token, (*server)->port(), options->folder});

  const InstanceRecord self{(*server)->port(), *token, desktop.process_id()};
  if (data_folder) {
    if (auto recorded = record_instance(platform, desktop, *data_folder, self); !recorded) {
      tell(platform, MessageKind::Information,
           "Could not record this run (" + recorded.error() +
               "): a later start will not find it.\n");
    }
  }
  const std::string address = page_address(self);
  if (auto told = tell_address(platform, address, options->open_browser); !told) {
    return fail(platform, told.error());
  }
  if (options->open_browser) open_page(platform, desktop, data_folder, address);

  HttpServer& serving = **server;
  auto icon = NotificationIcon::show(
      {.open_page = [&] { open_page(platform, desktop, data_folder, address); },
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
  if (data_folder) {
    forget_instance(platform, *data_folder, self);
    remove_redirect(platform, *data_folder, address);
  }
  console_close_done();
  if (has_stderr()) platform.write_stderr("orvane-probe-formations-ui has stopped.\n");
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
