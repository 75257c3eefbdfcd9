// One target of an apply: the settings pipeline's steps for a single account file, shared by the
// command line and the window program so that both rewrite a file the same way.
#pragma once

#include <string>
#include <vector>

#include "orvane/core/formations.hpp"
#include "orvane/core/package.hpp"
#include "orvane/core/platform.hpp"

namespace orvane {

// Reads a package file's text and accepts it only in the format and version this program
// writes: "package: {reader's error}" or "unsupported formation package" otherwise.
Result<Package, std::string> read_accepted_package(std::string_view text);
// True for a package in the format and version this program writes.
bool is_accepted_package(const Package& package);

enum class ApplyMode {
  Preview,          // load and merge in memory: no file is copied or written
  Write,            // load, back up, merge, save: a refused merge still replaces the backup
  WriteWhenMerged,  // load, merge, and only after a merge that succeeded back up and save
};

// Merges `formations` into the settings file at `target` and tells what the merge did, or the
// first step's error text. The target is written only after a merge that succeeded, and only
// once its backup is on the disk.
Result<MergeOutcome, std::string> apply_formations(Platform& platform, const std::string& target,
                                                   const std::vector<Formation>& formations,
                                                   ApplyMode mode);

}  // namespace orvane
