// Asks a recorded instance, over its own socket, whether it is there.
#pragma once

#include <chrono>

#include "instance.hpp"

namespace orvane::ui {

// True when the server on 127.0.0.1 at the record's port answers GET /api/instance, with the
// record's token, as the recorded process, within `timeout`.
bool instance_answers(const InstanceRecord& record, std::chrono::milliseconds timeout);

}  // namespace orvane::ui
