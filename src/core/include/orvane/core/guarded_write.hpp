// Writing a settings file only while it still holds the bytes the change was made from, so that
// a change another program saved in the meantime is refused rather than written over.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform.hpp"

namespace orvane {

enum class GuardedWriteFailure {
  Changed,  // the file no longer holds `loaded`: nothing was written
  Write,    // the write failed; the file holds `loaded` again where that could be put back
};

struct GuardedWriteError {
  GuardedWriteFailure failure = GuardedWriteFailure::Changed;
  std::string text;  // "write {path}: {os error text}" for Write
};

// With interruptions held from the check to the end of the write: reads the file again, and
// writes `bytes` over it, synced, only when it holds exactly `loaded`. A write that fails after
// the file was opened puts `loaded` back.
Result<void, GuardedWriteError> write_settings_file_if_unchanged(
    Platform& platform, const std::string& path, std::span<const std::uint8_t> loaded,
    std::span<const std::uint8_t> bytes);

}  // namespace orvane
