// Where the window program tells the player something when it has no console: on Windows it
// is a GUI program, started from the Start menu or Explorer with no standard streams at all.
#pragma once

#include <string>
#include <string_view>

namespace orvane::ui {

// The name players know the program by: message box titles, the icon's tooltip.
inline constexpr std::string_view PRODUCT_NAME = "Orvane Probe Formations";

enum class MessageKind { Information, Failure };
enum class StandardStream { Output, Error };

// True when what the program writes to `stream` reaches someone: a console, or a file or pipe
// it was started with. Always true where programs are started from a terminal or a menu that
// gives them one.
bool has_standard_stream(StandardStream stream);
// Shows `text` in a message box titled with the program's name. `wait`: returns once the player
// closed it; otherwise returns at once and the box stays up while the program goes on.
void show_message_box(MessageKind kind, std::string_view text, bool wait);

#ifdef _WIN32
// `text` as the UTF-16 the window functions take.
std::wstring shown_text(std::string_view text);
#endif

}  // namespace orvane::ui
