// Started from a terminal or a desktop menu, a program here always has its standard streams.
#include "orvane/ui/message_box.hpp"

namespace orvane::ui {

bool has_standard_stream(StandardStream) { return true; }
void show_message_box(MessageKind, std::string_view, bool) {}

}  // namespace orvane::ui
