// A closed terminal sends SIGHUP, which the server's signal handling already takes.
#include "orvane/ui/console_close.hpp"

namespace orvane::ui {

void stop_when_console_closes(HttpServer&) {}
void console_close_done() {}

}  // namespace orvane::ui
