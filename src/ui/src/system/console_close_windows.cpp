#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "orvane/ui/console_close.hpp"

namespace orvane::ui {
namespace {

// The system ends the process a few seconds after the handler returns from a close event.
constexpr DWORD GRACE_MILLISECONDS = 4000;

// Held while the server is asked to stop, so that it cannot be destroyed meanwhile.
SRWLOCK server_lock = SRWLOCK_INIT;
HttpServer* server_to_stop = nullptr;
HANDLE finished = nullptr;

// Runs on a thread of its own, which the system starts for each event.
BOOL WINAPI on_console_event(DWORD event) {
  AcquireSRWLockExclusive(&server_lock);
  const bool running = server_to_stop != nullptr;
  if (running) server_to_stop->request_stop();
  ReleaseSRWLockExclusive(&server_lock);
  if (!running) return FALSE;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    WaitForSingleObject(finished, GRACE_MILLISECONDS);
  }
  return TRUE;
}

}  // namespace

void stop_when_console_closes(HttpServer& server) {
  finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  AcquireSRWLockExclusive(&server_lock);
  server_to_stop = &server;
  ReleaseSRWLockExclusive(&server_lock);
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

void console_close_done() {
  AcquireSRWLockExclusive(&server_lock);
  server_to_stop = nullptr;
  ReleaseSRWLockExclusive(&server_lock);
  if (finished != nullptr) SetEvent(finished);
}

}  // namespace orvane::ui
