#include "helpers/fake_platform.hpp"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <thread>

#include "marshal/utf8.hpp"

namespace orvane::testing {

void FakePlatform::put_file(const std::string& path, std::string_view text) {
  files[path].assign(text.begin(), text.end());
}

std::string FakePlatform::file_text(const std::string& path) const {
  const auto it = files.find(path);
  return it == files.end() ? std::string() : std::string(it->second.begin(), it->second.end());
}

void FakePlatform::logged(std::string entry) {
  const Lock lock(lock_.mutex);
  log.push_back(std::move(entry));
}

std::optional<int> FakePlatform::failure(Operation op, const std::string& path) {
  const int call = ++calls_[{op, path}];
  const auto it = failures_.find({op, path});
  if (it == failures_.end() || (it->second.only_call && *it->second.only_call != call)) {
    return std::nullopt;
  }
  return it->second.code;
}

Result<std::vector<std::string>, std::string> FakePlatform::arguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (!marshal::is_valid_utf8(argv[i])) {
      return unexpected("argument " + std::to_string(i) + " is not valid UTF-8 text");
    }
    args.emplace_back(argv[i]);
  }
  return args;
}

Result<support::UnclearedBytes, OsError> FakePlatform::read_file(const std::string& path) {
  std::chrono::milliseconds delay{0};
  {
    const Lock lock(lock_.mutex);
    log.push_back("read " + path);
    if (auto code = failure(Operation::ReadFile, path)) return unexpected(OsError{*code});
    if (const auto it = read_delays.find(path); it != read_delays.end()) delay = it->second;
    most_reads_at_once = std::max(most_reads_at_once, ++reads_now_);
  }
  std::this_thread::sleep_for(delay);
  const Lock lock(lock_.mutex);
  --reads_now_;
  if (directories.count(path)) return unexpected(OsError{EISDIR});
  const auto it = files.find(path);
  if (it == files.end()) return unexpected(OsError{ENOENT});
  return support::UnclearedBytes(it->second.begin(), it->second.end());
}

// A write that fails after opening leaves the file cut short, as a full disk would.
Result<void, WriteError> FakePlatform::write_file(const std::string& path,
                                                  std::span<const std::uint8_t> bytes) {
  const Lock lock(lock_.mutex);
  log.push_back("write " + path);
  if (auto code = failure(Operation::OpenForWrite, path)) {
    return unexpected(WriteError{WriteStage::Opening, OsError{*code}});
  }
  if (directories.count(path)) return unexpected(WriteError{WriteStage::Opening, OsError{EISDIR}});
  if (auto code = failure(Operation::WriteFile, path)) {
    files[path].assign(bytes.begin(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    return unexpected(WriteError{WriteStage::Writing, OsError{*code}});
  }
  files[path].assign(bytes.begin(), bytes.end());
  return {};
}

Result<void, OsError> FakePlatform::copy_file(const std::string& from, const std::string& to) {
  const Lock lock(lock_.mutex);
  log.push_back("copy " + from + " -> " + to);
  if (auto code = failure(Operation::CopyFile, from)) return unexpected(OsError{*code});
  const auto it = files.find(from);
  if (it == files.end()) return unexpected(OsError{ENOENT});
  files[to] = it->second;
  return {};
}

std::optional<FileFacts> FakePlatform::examine_file(const std::string& path) {
  const Lock lock(lock_.mutex);
  const auto alias = aliases.find(path);
  const std::string& name = alias == aliases.end() ? path : alias->second;
  const bool regular = files.count(name) != 0;
  // A pipe or device is there, as stat finds it, only not a regular file.
  if (!regular && directories.count(name) == 0 && special_files.count(name) == 0) {
    return std::nullopt;
  }
  return FileFacts{FileIdentity{1, std::hash<std::string>{}(name)}, regular};
}

Result<std::vector<std::string>, OsError> FakePlatform::list_directory(const std::string& dir) {
  const Lock lock(lock_.mutex);
  log.push_back("list " + dir);
  if (auto code = failure(Operation::ListDirectory, dir)) return unexpected(OsError{*code});
  if (!directories.count(dir)) {
    return unexpected(OsError{files.count(dir) ? ENOTDIR : ENOENT});
  }
  const std::string prefix = join_path(dir, "");
  std::vector<std::string> names;
  const auto below = [&](const std::string& path) {
    if (path.size() > prefix.size() && path.starts_with(prefix) &&
        path.find('/', prefix.size()) == std::string::npos) {
      names.push_back(path.substr(prefix.size()));
    }
  };
  // Reverse name order, so a command that forgets to sort the listing shows it.
  for (auto it = files.rbegin(); it != files.rend(); ++it) below(it->first);
  for (auto it = directories.rbegin(); it != directories.rend(); ++it) below(*it);
  return names;
}

std::string FakePlatform::join_path(const std::string& dir, const std::string& name) const {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string FakePlatform::describe_error(int code) const {
  switch (code) {
    case ENOENT:
      return "No such file or directory";
    case EACCES:
      return "Permission denied";
    case ENOSPC:
      return "No space left on device";
    case EPIPE:
      return "Broken pipe";
    case EISDIR:
      return "Is a directory";
    case EIO:
      return "Input/output error";
    case ENOTDIR:
      return "Not a directory";
    default:
      return "Unknown error";
  }
}

std::uint64_t FakePlatform::now_filetime() {
  const Lock lock(lock_.mutex);
  return filetime;
}

void FakePlatform::write_stderr(std::string_view text) {
  const Lock lock(lock_.mutex);
  err += text;
}

void FakePlatform::wait_for_enter() {
  const Lock lock(lock_.mutex);
  if (waits_for_enter++ == 0) err_before_wait = err;
}

Result<void, OsError> FakePlatform::write_stdout(std::string_view text) {
  const Lock lock(lock_.mutex);
  if (log_prints) log.push_back("print " + std::string(text));
  if (stdout_failure_ && stdout_writes_ >= stdout_failure_->first) {
    return unexpected(OsError{stdout_failure_->second});
  }
  ++stdout_writes_;
  out += text;
  return {};
}

ui::PathKind FakePlatform::path_kind(const std::string& path) {
  const Lock lock(lock_.mutex);
  if (directories.count(path))
    return folder_links.count(path) ? ui::PathKind::FolderLink : ui::PathKind::Folder;
  if (special_files.count(path)) return ui::PathKind::Other;
  return files.count(path) ? ui::PathKind::File : ui::PathKind::Missing;
}

std::string FakePlatform::parent_folder(const std::string& path) const {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || path == "/") return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A file on the way, as where a folder should be, stops it as it would on a disk.
Result<void, OsError> FakePlatform::create_private_folder(const std::string& path) {
  const Lock lock(lock_.mutex);
  for (std::string above = path; !above.empty(); above = parent_folder(above)) {
    if (files.count(above)) return unexpected(OsError{ENOTDIR});
    if (above == "/") break;
  }
  directories.insert(path);
  return {};
}

Result<void, OsError> FakePlatform::open_in_browser(const std::string& url) {
  const Lock lock(lock_.mutex);
  opened_urls.push_back(url);
  if (browser_error) return unexpected(OsError{*browser_error});
  return {};
}

Result<void, OsError> FakePlatform::write_private_file(const std::string& path,
                                                       std::string_view bytes) {
  log.push_back("write private " + path);
  if (auto code = failure(Operation::OpenForWrite, path)) return unexpected(OsError{*code});
  files[path].assign(bytes.begin(), bytes.end());
  private_files.insert(path);
  return {};
}

Result<void, OsError> FakePlatform::remove_file(const std::string& path) {
  log.push_back("remove " + path);
  files.erase(path);
  private_files.erase(path);
  return {};
}

Result<void, OsError> FakePlatform::random_bytes(std::span<std::uint8_t> bytes) {
  const Lock lock(lock_.mutex);
  for (std::uint8_t& byte : bytes) byte = next_random_byte++;
  return {};
}

Result<support::UnclearedBytes, BoundedReadError> FakePlatform::read_regular_file(
    const std::string& path, std::size_t max_bytes) {
  if (before_read) before_read(path);
  std::chrono::milliseconds delay{0};
  {
    const Lock lock(lock_.mutex);
    log.push_back("read " + path);
    if (const auto it = read_delays.find(path); it != read_delays.end()) delay = it->second;
    most_reads_at_once = std::max(most_reads_at_once, ++reads_now_);
  }
  std::this_thread::sleep_for(delay);
  const Lock lock(lock_.mutex);
  --reads_now_;
  const auto alias = aliases.find(path);
  const std::string& name = alias == aliases.end() ? path : alias->second;
  if (special_files.count(name)) return unexpected(BoundedReadError{ReadRefusal::NotRegular, {}});
  if (huge_files.count(name)) return unexpected(BoundedReadError{ReadRefusal::TooLarge, {}});
  if (auto code = failure(Operation::ReadFile, path)) {
    return unexpected(BoundedReadError{ReadRefusal::System, OsError{*code}});
  }
  if (directories.count(name)) return unexpected(BoundedReadError{ReadRefusal::System, {EISDIR}});
  const auto it = files.find(name);
  if (it == files.end()) return unexpected(BoundedReadError{ReadRefusal::System, {ENOENT}});
  if (it->second.size() > max_bytes) return unexpected(BoundedReadError{ReadRefusal::TooLarge, {}});
  return support::UnclearedBytes(it->second.begin(), it->second.end());
}

std::optional<std::string> FakePlatform::resolved_path(const std::string& path) {
  const auto alias = aliases.find(path);
  const std::string& name = alias == aliases.end() ? path : alias->second;
  if (files.count(name) || directories.count(name) || special_files.count(name)) return name;
  return std::nullopt;
}

}  // namespace orvane::testing
