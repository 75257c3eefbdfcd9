// The icon belongs to a hidden top-level window on a thread of its own, so it answers while
// the server's thread is busy with a request. A top-level window, not a message-only one: only
// those hear that the notification area was restarted (and lost its icons) and that the
// session is ending.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <shellapi.h>

#include <thread>

#include "orvane/ui/message_box.hpp"
#include "orvane/ui/tray_events.hpp"

namespace orvane::ui {
namespace {

constexpr UINT ICON_ID = 1;
constexpr UINT ICON_MESSAGE = WM_APP + 1;
constexpr UINT CHOOSE_MESSAGE = WM_APP + 2;  // wParam: a TrayAction
constexpr wchar_t WINDOW_CLASS[] = L"OrvaneProbeFormationsIcon";
// As long as the system lets a program end its work before it is stopped at a shutdown.
constexpr DWORD SHUTDOWN_GRACE_MILLISECONDS = 4000;

}  // namespace

const std::string_view QUIT_HINT =
    "Quit on the page, or on the program's icon in the notification area, to end.";

struct NotificationIcon::State {
  Actions actions;
  HWND window = nullptr;
  HICON icon = nullptr;
  UINT taskbar_created = 0;
  // Set once the program's server has stopped, for a session end waiting on it.
  HANDLE finished = nullptr;
  std::thread thread;

  void add_icon() {
    NOTIFYICONDATAW data = icon_data();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = ICON_MESSAGE;
    data.hIcon = icon;
    const std::wstring tip = shown_text(PRODUCT_NAME);
    wcsncpy(data.szTip, tip.c_str(), sizeof data.szTip / sizeof data.szTip[0] - 1);
    // Fails while no notification area runs; it says so when it starts.
    Shell_NotifyIconW(NIM_ADD, &data);
  }

  void remove_icon() {
    NOTIFYICONDATAW data = icon_data();
    Shell_NotifyIconW(NIM_DELETE, &data);
  }

  NOTIFYICONDATAW icon_data() const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = ICON_ID;
    return data;
  }

  void take(TrayAction action) {
    switch (action) {
      case TrayAction::OpenPage:
        actions.open_page();
        break;
      case TrayAction::Quit:
        actions.quit();
        break;
      case TrayAction::ShowMenu:
        show_menu();
        break;
      case TrayAction::None:
        break;
    }
  }

  void show_menu() {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    AppendMenuW(menu, MF_STRING, COMMAND_OPEN_PAGE, L"Open the page");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, COMMAND_QUIT, L"Quit");
    SetMenuDefaultItem(menu, COMMAND_OPEN_PAGE, FALSE);
    POINT at{};
    GetCursorPos(&at);
    // Without the foreground the menu would not close when the player clicks elsewhere.
    SetForegroundWindow(window);
    const UINT command = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
    take(tray_action_for_command(command));
  }

  LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == ICON_MESSAGE) {
      take(tray_action_for_icon_event(LOWORD(lparam)));
      return 0;
    }
    if (message == CHOOSE_MESSAGE) {
      take(static_cast<TrayAction>(wparam));
      return 0;
    }
    if (taskbar_created != 0 && message == taskbar_created) {
      add_icon();
      return 0;
    }
    switch (message) {
      case WM_COMMAND:
        take(tray_action_for_command(LOWORD(wparam)));
        return 0;
      case WM_ENDSESSION:
        // The system stops the process once this returns: a write in progress ends first.
        if (wparam) {
          actions.quit();
          WaitForSingleObject(finished, SHUTDOWN_GRACE_MILLISECONDS);
        }
        return 0;
      case WM_CLOSE:
        remove_icon();
        DestroyWindow(window);
        return 0;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
  }

  static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* state = static_cast<State*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      state->window = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    }
    auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    return state->on_message(message, wparam, lparam);
  }

  // Runs on the icon's thread: makes the window, tells `ready` whether it could, then serves
  // the window until it is closed.
  void serve(HANDLE ready, bool& made) {
    // Opening the page goes through the shell, which wants COM on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    serve_window(ready, made);
    if (SUCCEEDED(com)) CoUninitialize();
  }

  void serve_window(HANDLE ready, bool& made) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.lpszClassName = WINDOW_CLASS;
    RegisterClassExW(&window_class);  // already there when a test shows a second icon
    taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
    // The window procedure has seen the window by the time this fails (no display under
    // Wine, say): only the returned handle tells.
    made = CreateWindowExW(0, WINDOW_CLASS, shown_text(PRODUCT_NAME).c_str(), WS_OVERLAPPED, 0, 0,
                           0, 0, nullptr, nullptr, instance, this) != nullptr;
    if (made) {
      // The executable's own icon (resource 1) at the notification area's size; a test
      // program has none.
      icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXSMICON),
                                           GetSystemMetrics(SM_CYSMICON), LR_SHARED));
      if (icon == nullptr) icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
      add_icon();
    }
    SetEvent(ready);
    if (!made) return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
};

support::Result<std::unique_ptr<NotificationIcon>, std::string> NotificationIcon::show(
    Actions actions) {
  auto state = std::make_unique<State>();
  state->actions = std::move(actions);
  state->finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (state->finished == nullptr || ready == nullptr) {
    if (state->finished != nullptr) CloseHandle(state->finished);
    if (ready != nullptr) CloseHandle(ready);
    return support::unexpected(std::string("the notification-area icon: no event object"));
  }
  bool made = false;
  State* raw = state.get();
  state->thread = std::thread([raw, ready, &made] { raw->serve(ready, made); });
  WaitForSingleObject(ready, INFINITE);
  CloseHandle(ready);
  if (!made) {
    state->thread.join();
    CloseHandle(state->finished);
    return support::unexpected(std::string("the notification-area icon: no window for it"));
  }
  return std::unique_ptr<NotificationIcon>(new NotificationIcon(std::move(state)));
}

NotificationIcon::NotificationIcon(std::unique_ptr<State> state) : state_(std::move(state)) {}

NotificationIcon::~NotificationIcon() {
  SetEvent(state_->finished);
  PostMessageW(state_->window, WM_CLOSE, 0, 0);
  state_->thread.join();
  CloseHandle(state_->finished);
}

void NotificationIcon::choose(TrayAction action) {
  SendMessageW(state_->window, CHOOSE_MESSAGE, static_cast<WPARAM>(action), 0);
}

}  // namespace orvane::ui
