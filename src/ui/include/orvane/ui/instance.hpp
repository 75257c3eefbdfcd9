// One window program per user: the running one's address is kept in a file of the program's
// data folder, and a later start hands the player that page instead of serving one of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "orvane/core/platform.hpp"
#include "orvane/ui/desktop.hpp"
#include "support/result.hpp"

namespace orvane::ui {

struct InstanceRecord {
  unsigned short port = 0;
  std::string token;
  std::uint64_t process = 0;
  friend bool operator==(const InstanceRecord&, const InstanceRecord&) = default;
};

// "http://127.0.0.1:P/#token=T", the address the program prints.
std::string page_address(unsigned short port, std::string_view token);
inline std::string page_address(const InstanceRecord& record) {
  return page_address(record.port, record.token);
}

// The record as its file holds it, and back; nothing from text that is not one whole record.
std::string instance_file_text(const InstanceRecord& record);
std::optional<InstanceRecord> parse_instance_file(std::string_view text);

// Whether the server a record names is there and answers as the recorded process.
using InstanceAnswers = std::function<bool(const InstanceRecord&)>;

// This user's running instance: the one the record in `data_folder` names, if its process runs
// and it answers. A missing, damaged or stale record gives nothing.
std::optional<InstanceRecord> find_running_instance(Platform& platform, Desktop& desktop,
                                                    const std::string& data_folder,
                                                    const InstanceAnswers& answers);
// Records this run as the running instance, in place of any record there. The error names the
// file and the cause.
Result<void, std::string> record_instance(Platform& platform, Desktop& desktop,
                                          const std::string& data_folder,
                                          const InstanceRecord& record);
// Removes the record if it is still this run's: a later start may have replaced it.
void forget_instance(Platform& platform, const std::string& data_folder,
                     const InstanceRecord& record);

}  // namespace orvane::ui
