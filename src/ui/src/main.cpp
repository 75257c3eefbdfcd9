// orvane-probe-formations-ui: serves the page on 127.0.0.1, prints its address with the
// session's token, opens it in the browser, and runs until Ctrl+C, a closed console window or
// the page's Quit button ends it. A start while another run of this user's serves opens that
// run's page instead, and ends.
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
#include "orvane/ui/options.hpp"
#include "orvane/ui/ui_app.hpp"

namespace {

using namespace orvane;
using namespace orvane::ui;

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// Long enough for a run busy with a large apply to finish it and answer.
constexpr std::chrono::seconds ANSWER_TIMEOUT{10};

int fail(Platform& platform, const std::string& text) {
  platform.write_stderr("Error: " + text + "\n");
  return EXIT_FAILED;
}

Result<void, std::string> print_address(Platform& platform, const std::string& address) {
  if (auto printed = platform.write_stdout(address + "\n"); !printed) {
    return unexpected("write standard output: " + platform.os_error_text(printed.error()));
  }
  return {};
}

void open_page(Platform& platform, Desktop& desktop,
               const Result<std::string, std::string>& data_folder, const std::string& address) {
  auto opened = data_folder ? open_through_redirect(platform, desktop, *data_folder, address)
                            : Result<void, std::string>(unexpected(data_folder.error()));
  if (!opened) {
    platform.write_stderr("Could not open the browser (" + opened.error() +
                          "): open the address above in it.\n");
  }
}

// The page of the run already serving, in place of a second server.
int hand_over(Platform& platform, Desktop& desktop, const UiOptions& options,
              const Result<std::string, std::string>& data_folder, const InstanceRecord& running) {
  const std::string address = page_address(running);
  if (auto printed = print_address(platform, address); !printed) {
    return fail(platform, printed.error());
  }
  if (options.open_browser) open_page(platform, desktop, data_folder, address);
  std::string note =
      "orvane-probe-formations-ui is already running: its page is at the address "
      "above";
  if (options.folder) note += "; pick the folder " + *options.folder + " there";
  platform.write_stderr(note + ".\n");
  return EXIT_OK;
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
  if (!server) return fail(platform, server.error());
  app = std::make_unique<UiApp>(platform, desktop,
                                UiSession{*token, (*server)->port(), options->folder});

  const InstanceRecord self{(*server)->port(), *token, desktop.process_id()};
  if (data_folder) {
    if (auto recorded = record_instance(platform, desktop, *data_folder, self); !recorded) {
      platform.write_stderr("Could not record this run (" + recorded.error() +
                            "): a later start will not find it.\n");
    }
  }
  const std::string address = page_address(self);
  if (auto printed = print_address(platform, address); !printed) {
    return fail(platform, printed.error());
  }
  if (options->open_browser) open_page(platform, desktop, data_folder, address);
  platform.write_stderr(
      "Serving the page at the address above. Quit on the page, or press Ctrl+C, to end.\n");
  (*server)->stop_on_signals();
  stop_when_console_closes(**server);
  (*server)->run();
  if (data_folder) {
    forget_instance(platform, *data_folder, self);
    remove_redirect(platform, *data_folder, address);
  }
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
