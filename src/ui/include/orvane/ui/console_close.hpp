// Ending the window program when its console window is closed, the player logs off or the
// system shuts down: on Windows those come as console events rather than signals.
#pragma once

#include "orvane/ui/http_server.hpp"

namespace orvane::ui {

// From here on those events stop `server`; the process is given a moment to finish the reply in
// progress before the system ends it. Nothing to do where they arrive as signals.
void stop_when_console_closes(HttpServer& server);
// Tells a waiting console handler that the program has finished.
void console_close_done();

}  // namespace orvane::ui
