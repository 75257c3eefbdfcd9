#include "instance_hand_over.hpp"

namespace orvane::ui {

// The running instance is found through the address it keeps in the program's data folder;
// until it keeps one there, no start finds another.
bool hand_over_to_running_instance(Platform&, const UiOptions&) { return false; }

}  // namespace orvane::ui
