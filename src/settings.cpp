#include "settings.hpp"

#include <boost/json/memory_resource.hpp>
#include <boost/json/monotonic_resource.hpp>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "marshal/json_codec.hpp"
#include "restore_backup.hpp"

namespace orvane {
namespace {

// A settings file's JSON tree takes a few times the file's size. One arena holds all of its nodes:
// they are built and freed in bulk rather than one by one, and its first block, sized from the
// file, is only address space until the decode touches it. It also keeps the file's size, as the
// guess for the size of the rewritten file.
class SettingsArena final : public boost::json::memory_resource {
 public:
  explicit SettingsArena(std::size_t file_size)
      : nodes_(file_size * TREE_BYTES_PER_FILE_BYTE + MIN_ARENA_BLOCK), file_size_(file_size) {}
  std::size_t file_size() const { return file_size_; }

 private:
  static constexpr std::size_t TREE_BYTES_PER_FILE_BYTE = 6;
  static constexpr std::size_t MIN_ARENA_BLOCK = 64 * 1024;

  void* do_allocate(std::size_t n, std::size_t align) override { return nodes_.allocate(n, align); }
  void do_deallocate(void*, std::size_t, std::size_t) override {}
  bool do_is_equal(const memory_resource& other) const noexcept override { return this == &other; }

  boost::json::monotonic_resource nodes_;
  std::size_t file_size_;
};

std::size_t expected_output_size(const JsonValue& tree) {
  const auto* arena = dynamic_cast<const SettingsArena*>(tree.storage().get());
  return arena ? arena->file_size() : 0;
}

}  // namespace
}  // namespace orvane

// Freeing a node returns nothing to the arena, so the tree need not free its nodes one by one.
template <>
struct boost::json::is_deallocate_trivial<orvane::SettingsArena> : std::true_type {};

namespace orvane {

// One pass from the file's bytes to its JSON tree; the bytes are released as soon as they are
// decoded. The tree refers to its arena without sharing it: no node then counts references, and
// none is freed on its own.
Result<LoadedSettings, std::string> load_settings(Platform& platform, const std::string& path) {
  auto bytes = platform.read_file(path);
  if (!bytes) return unexpected("read " + path + ": " + platform.os_error_text(bytes.error()));
  auto arena = std::make_unique<SettingsArena>(bytes->size());
  auto decoded = marshal::decode_to_json(*bytes, boost::json::storage_ptr(arena.get()));
  bytes = std::vector<std::uint8_t>();
  if (!decoded) return unexpected("decode " + path + ": " + decoded.error().message());
  return LoadedSettings{std::move(arena), std::move(decoded->value), decoded->has_crc};
}

// One pass from the JSON tree to the new bytes, in a buffer reserved once.
Result<void, std::string> save_settings(Platform& platform, const std::string& path,
                                        const JsonValue& tree, bool has_crc) {
  std::vector<std::uint8_t> bytes;
  {
    const marshal::EncodeOptions options{.write_crc = has_crc, .mode_byte = 1};
    auto encoded = marshal::encode_from_json(tree, options, expected_output_size(tree));
    if (!encoded) {
      const marshal::EncodeFailure& failure = encoded.error();
      const char* step =
          failure.step == marshal::EncodeStep::Rebuild ? "rebuild settings: " : "encode settings: ";
      return unexpected(step + failure.error.message());
    }
    bytes = std::move(*encoded);
  }
  auto written = platform.write_file(path, bytes);
  if (!written) {
    restore_after_failed_write(platform, path, written.error());
    return unexpected("write " + path + ": " + platform.os_error_text(written.error().os));
  }
  return {};
}

Result<void, std::string> backup_settings(Platform& platform, const std::string& path) {
  auto copied = platform.copy_file(path, backup_path_for(path));
  if (!copied) return unexpected("backup " + path + ": " + platform.os_error_text(copied.error()));
  return {};
}

}  // namespace orvane
