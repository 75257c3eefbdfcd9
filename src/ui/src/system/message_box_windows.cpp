#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string>
#include <thread>

#include "orvane/platform/windows_path.hpp"
#include "orvane/ui/message_box.hpp"

namespace orvane::ui {

std::wstring shown_text(std::string_view text) {
  return wide_from_utf8(text).value_or(L"(a message that is not valid text)");
}

bool has_standard_stream(StandardStream stream) {
  const HANDLE handle =
      GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  // A GUI program started from Explorer or the Start menu has none; one whose console handles
  // were merely inherited has handles of no known type.
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void show_message_box(MessageKind kind, std::string_view text, bool wait) {
  const UINT style =
      MB_OK | MB_SETFOREGROUND | (kind == MessageKind::Failure ? MB_ICONERROR : MB_ICONINFORMATION);
  auto show = [style, body = shown_text(text), title = shown_text(PRODUCT_NAME)] {
    MessageBoxW(nullptr, body.c_str(), title.c_str(), style);
  };
  if (wait) return show();
  // The process ending takes the box with it; until then it needs nothing of the program.
  std::thread(std::move(show)).detach();
}

}  // namespace orvane::ui
