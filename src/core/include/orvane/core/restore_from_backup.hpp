// Undoing an apply: an account file gets back the bytes of the backup the last apply made of it.
#pragma once

#include <string>

#include "orvane/core/platform.hpp"

namespace orvane {

// Copies the backup of the settings file at `path` back over it, written like a save, provided
// the backup decodes as a settings file. The errors are the pipeline's: "read {backup}: ...",
// "decode {backup}: ..." (the file is then left alone) or "write {path}: ...".
Result<void, std::string> restore_from_backup(Platform& platform, const std::string& path);

}  // namespace orvane
