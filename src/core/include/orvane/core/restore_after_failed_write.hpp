// Putting a settings file back from the backup `backup_settings` made of it, when its rewrite
// failed after the file had already been cut short.
#pragma once

#include <string>

#include "orvane/core/platform.hpp"

namespace orvane {

// Puts the backup's bytes back over `path` when `failure` came after the file was opened for
// writing. A file that could not even be opened is as it was and is left alone. When the backup
// cannot be read or written back, the target stays as the failed write left it and the backup
// is not touched, so the player can still restore it by hand.
void restore_after_failed_write(Platform& platform, const std::string& path,
                                const WriteError& failure);

}  // namespace orvane
