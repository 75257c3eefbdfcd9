#include "orvane/core/restore_after_failed_write.hpp"

#include "orvane/core/settings.hpp"

namespace orvane {

void restore_after_failed_write(Platform& platform, const std::string& path,
                                const WriteError& failure) {
  switch (failure.stage) {
    case WriteStage::Opening:
      return;
    case WriteStage::Writing:
      break;
  }
  // The backup was taken from this very file moments ago, after it loaded: its bytes are the
  // settings as the player last had them.
  auto backup = platform.read_file(backup_path_for(path));
  if (!backup) return;
  // A second failure leaves nothing better to try; the caller reports the first one.
  (void)platform.write_file(path, *backup);
}

}  // namespace orvane
