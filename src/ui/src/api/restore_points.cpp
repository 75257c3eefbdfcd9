#include "restore_points.hpp"

#include <algorithm>
#include <boost/json.hpp>
#include <chrono>
#include <cstdio>

#include "account_read.hpp"
#include "marshal/json.hpp"
#include "orvane/core/content_version.hpp"
#include "orvane/ui/data_folder.hpp"
#include "support/ascii.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

constexpr std::string_view POINTS_FOLDER = "restore-points";
constexpr std::string_view BYTES_SUFFIX = ".settings";
constexpr std::string_view FACTS_SUFFIX = ".json";
constexpr std::size_t MAX_FACTS_BYTES = 64 * 1024;
constexpr std::size_t ID_DIGITS = 20;

// FILETIME of 1970-01-01 00:00 UTC, and FILETIME ticks per second.
constexpr std::uint64_t UNIX_EPOCH_FILETIME = 116444736000000000ULL;
constexpr std::uint64_t TICKS_PER_SECOND = 10000000ULL;

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A folder name that any system takes: the letters, digits and '-' of `readable` (others become
// '_'), then a hash of `whole`, so two texts that look alike never share a folder.
std::string folder_name_for(std::string_view readable, std::string_view whole) {
  std::string name;
  for (const char c : readable.substr(0, 40)) {
    name += support::is_digit(c) || support::is_letter(c) || c == '-' ? c : '_';
  }
  return name + '-' + content_version(bytes_of(whole)).substr(0, 16);
}

// The last part of a folder's path: what the player knows the folder by.
std::string_view last_part(std::string_view path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// Ids are FILETIMEs of 20 digits and a sequence number: they sort as the points were made.
bool is_point_id(std::string_view id) {
  if (id.size() != ID_DIGITS + 3 || id[ID_DIGITS] != '-') return false;
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (i != ID_DIGITS && !support::is_digit(id[i])) return false;
  }
  return true;
}

std::string point_id(std::uint64_t filetime, unsigned sequence) {
  char text[ID_DIGITS + 4];
  std::snprintf(text, sizeof text, "%020llu-%02u", static_cast<unsigned long long>(filetime),
                sequence % 100);
  return text;
}

}  // namespace

std::string utc_time_text(std::uint64_t filetime) {
  using namespace std::chrono;
  const std::int64_t seconds =
      filetime > UNIX_EPOCH_FILETIME
          ? static_cast<std::int64_t>((filetime - UNIX_EPOCH_FILETIME) / TICKS_PER_SECOND)
          : 0;
  const sys_seconds when{std::chrono::seconds(seconds)};
  const sys_days day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss clock{when - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::optional<std::string> RestorePointStore::account_folder(const std::string& folder,
                                                             const std::string& account) {
  auto data = program_data_folder(platform_, desktop_);
  if (!data) return std::nullopt;
  // The same folder reached by another spelling keeps the same points.
  const std::string settings = platform_.resolved_path(folder).value_or(folder);
  std::string points = platform_.join_path(*data, std::string(POINTS_FOLDER));
  points = platform_.join_path(points, folder_name_for(last_part(settings), settings));
  return platform_.join_path(points, "account-" + folder_name_for(account, account));
}

Result<RestorePoint, std::string> RestorePointStore::keep(const std::string& folder,
                                                          const std::string& account,
                                                          std::span<const std::uint8_t> bytes,
                                                          const std::string& reason) {
  auto made = make_program_data_folder(platform_, desktop_);
  if (!made) return made.take_error();
  auto points = account_folder(folder, account);
  if (!points) return unexpected(std::string("restore points: no data folder"));
  if (auto created = desktop_.create_private_folder(*points); !created) {
    return unexpected("restore points " + *points + ": " +
                      platform_.os_error_text(created.error()));
  }
  std::vector<RestorePoint> existing = list(folder, account);

  const std::uint64_t now = platform_.now_filetime();
  RestorePoint point{point_id(now, 0), utc_time_text(now), reason, content_version(bytes)};
  for (unsigned sequence = 1; std::any_of(existing.begin(), existing.end(),
                                          [&](const RestorePoint& p) { return p.id == point.id; });
       ++sequence) {
    point.id = point_id(now, sequence);
  }
  const std::string base = platform_.join_path(*points, point.id);
  // The bytes first: a point is listed only once its facts are there, and those come last.
  if (auto written = platform_.write_file(base + std::string(BYTES_SUFFIX), bytes); !written) {
    return unexpected("restore point " + base + ": " + platform_.os_error_text(written.error().os));
  }
  const std::string facts = json::serialize(
      json::object{{"time", point.time}, {"reason", point.reason}, {"version", point.version}});
  if (auto written = platform_.write_file(base + std::string(FACTS_SUFFIX), bytes_of(facts));
      !written) {
    return unexpected("restore point " + base + ": " + platform_.os_error_text(written.error().os));
  }

  existing.insert(existing.begin(), point);
  for (std::size_t i = RESTORE_POINTS_KEPT; i < existing.size(); ++i) {
    const std::string old = platform_.join_path(*points, existing[i].id);
    // A point that cannot be removed only stays longer.
    (void)platform_.remove_file(old + std::string(FACTS_SUFFIX));
    (void)platform_.remove_file(old + std::string(BYTES_SUFFIX));
  }
  return point;
}

std::optional<RestorePoint> RestorePointStore::read_point(const std::string& points,
                                                          const std::string& id) {
  auto facts = platform_.read_regular_file(
      platform_.join_path(points, id + std::string(FACTS_SUFFIX)), MAX_FACTS_BYTES);
  if (!facts) return std::nullopt;
  auto parsed = marshal::parse_json_text(
      std::string_view(reinterpret_cast<const char*>(facts->data()), facts->size()), 4);
  const json::object* object = parsed ? parsed->if_object() : nullptr;
  if (object == nullptr) return std::nullopt;
  RestorePoint point{id, {}, {}, {}};
  for (auto [name, field] : {std::pair{"time", &point.time}, std::pair{"reason", &point.reason},
                             std::pair{"version", &point.version}}) {
    const json::value* value = object->if_contains(name);
    const json::string* text = value == nullptr ? nullptr : value->if_string();
    if (text == nullptr) return std::nullopt;
    field->assign(text->data(), text->size());
  }
  return point;
}

std::vector<RestorePoint> RestorePointStore::list(const std::string& folder,
                                                  const std::string& account) {
  std::vector<RestorePoint> found;
  auto points = account_folder(folder, account);
  if (!points) return found;
  auto names = platform_.list_directory(*points);
  if (!names) return found;
  for (const std::string& name : *names) {
    if (!name.ends_with(FACTS_SUFFIX)) continue;
    const std::string id = name.substr(0, name.size() - FACTS_SUFFIX.size());
    if (!is_point_id(id)) continue;
    if (auto point = read_point(*points, id)) found.push_back(std::move(*point));
  }
  std::sort(found.begin(), found.end(),
            [](const RestorePoint& a, const RestorePoint& b) { return a.id > b.id; });
  return found;
}

Result<support::UnclearedBytes, ApiError> RestorePointStore::read(const std::string& folder,
                                                                  const std::string& account,
                                                                  const std::string& id) {
  const auto missing = [&] {
    return refused(ErrorCode::NoSuchRestorePoint,
                   "account " + account + " has no restore point \"" + id + "\"");
  };
  if (!is_point_id(id)) return missing();
  auto points = account_folder(folder, account);
  if (!points) return missing();
  const std::optional<RestorePoint> point = read_point(*points, id);
  if (!point) return missing();
  auto bytes =
      read_account_bytes(platform_, platform_.join_path(*points, id + std::string(BYTES_SUFFIX)));
  if (!bytes) return bytes.take_error();
  if (bytes->version != point->version) {
    return refused(ErrorCode::ReadFailed, "restore point " + id + " of account " + account +
                                              " is damaged: its bytes are not those kept");
  }
  return std::move(bytes->bytes);
}

}  // namespace orvane::ui
