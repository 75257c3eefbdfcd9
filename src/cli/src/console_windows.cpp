// The console on Windows: no shell expands wildcards, and a double-click opens a console of the
// program's own that closes with it.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string_view>

#include "orvane/cli/console.hpp"

namespace orvane {
namespace {

// Under Wine the console is the terminal Wine was started from, and the shell in it is no
// Windows process: the program counts as alone on a console that stays open after it ends.
bool runs_under_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class WindowsConsole final : public Console {
 public:
  // Neither cmd nor PowerShell expands wildcards for a program they start.
  bool expands_wildcards() const override { return true; }

  // A console the player opened also holds the shell that started the program, so only one
  // created for this process alone counts no other process. A program whose input comes from a
  // pipe or a file was started by a script, which must never be kept waiting.
  bool console_closes_on_exit() override {
    if (runs_under_wine()) return false;
    DWORD processes[2] = {};
    if (GetConsoleProcessList(processes, 2) != 1) return false;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  }

  void wait_for_enter() override {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    // Keys pressed while the program ran must not end the wait before the player has read it.
    FlushConsoleInputBuffer(input);
    wchar_t buffer[64];
    DWORD got = 0;
    while (ReadConsoleW(input, buffer, 64, &got, nullptr) && got > 0) {
      if (std::wstring_view(buffer, got).find_first_of(L"\r\n") != std::wstring_view::npos) return;
    }
  }
};

}  // namespace

std::unique_ptr<Console> make_native_console() { return std::make_unique<WindowsConsole>(); }

}  // namespace orvane
