#include "orvane/core/guarded_write.hpp"

#include <algorithm>

namespace orvane {

Result<void, GuardedWriteError> write_settings_file_if_unchanged(
    Platform& platform, const std::string& path, std::span<const std::uint8_t> loaded,
    std::span<const std::uint8_t> bytes) {
  const InterruptionsHeld held(platform);
  // A file that grew past what was loaded is changed, and need not be read to know it.
  auto current = platform.read_regular_file(path, loaded.size());
  if (!current || !std::equal(current->begin(), current->end(), loaded.begin(), loaded.end())) {
    return unexpected(GuardedWriteError{GuardedWriteFailure::Changed, {}});
  }
  auto written = platform.write_file(path, bytes);
  if (written) return {};
  switch (written.error().stage) {
    case WriteStage::Opening:
      break;
    case WriteStage::Writing:
      // What the file held a moment ago is the best there is to put back; a second failure
      // leaves nothing better to try.
      (void)platform.write_file(path, loaded);
      break;
  }
  return unexpected(
      GuardedWriteError{GuardedWriteFailure::Write,
                        "write " + path + ": " + platform.os_error_text(written.error().os)});
}

}  // namespace orvane
