#include "orvane/ui/instance.hpp"

#include <boost/json.hpp>

#include "orvane/ui/ui_app.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

constexpr std::string_view RECORD_FILE = "instance.json";
std::optional<InstanceRecord> read_record(Platform& platform, const std::string& path) {
  auto bytes = platform.read_file(path);
  if (!bytes) return std::nullopt;
  return parse_instance_file(
      std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

}  // namespace

std::string page_address(unsigned short port, std::string_view token) {
  return "http://127.0.0.1:" + std::to_string(port) + "/#token=" + std::string(token);
}

std::string instance_file_text(const InstanceRecord& record) {
  return json::serialize(json::object{
             {"port", record.port}, {"token", record.token}, {"process", record.process}}) +
         "\n";
}

std::optional<InstanceRecord> parse_instance_file(std::string_view text) {
  boost::system::error_code ec;
  const json::value value = json::parse(text, ec);
  const json::object* object = ec ? nullptr : value.if_object();
  if (object == nullptr || object->size() != 3) return std::nullopt;
  const json::value* port = object->if_contains("port");
  const json::value* token = object->if_contains("token");
  const json::value* process = object->if_contains("process");
  if (port == nullptr || token == nullptr || process == nullptr) return std::nullopt;
  const auto as_count = [](const json::value& number) -> std::optional<std::uint64_t> {
    if (const std::int64_t* i = number.if_int64(); i != nullptr && *i > 0) {
      return static_cast<std::uint64_t>(*i);
    }
    if (const std::uint64_t* u = number.if_uint64(); u != nullptr && *u > 0) return *u;
    return std::nullopt;
  };
  const auto port_number = as_count(*port);
  const auto process_id = as_count(*process);
  const json::string* token_text = token->if_string();
  if (!port_number || *port_number > 65535 || !process_id || token_text == nullptr ||
      !is_session_token(*token_text)) {
    return std::nullopt;
  }
  return InstanceRecord{static_cast<unsigned short>(*port_number), std::string(*token_text),
                        *process_id};
}

std::optional<InstanceRecord> find_running_instance(Platform& platform, Desktop& desktop,
                                                    const std::string& data_folder,
                                                    const InstanceAnswers& answers) {
  auto record = read_record(platform, platform.join_path(data_folder, std::string(RECORD_FILE)));
  // The process is asked first, so that the token goes to no server but a live run's.
  if (!record || record->process == desktop.process_id() ||
      !desktop.process_running(record->process) || !answers(*record)) {
    return std::nullopt;
  }
  return record;
}

Result<void, std::string> record_instance(Platform& platform, Desktop& desktop,
                                          const std::string& data_folder,
                                          const InstanceRecord& record) {
  const std::string path = platform.join_path(data_folder, std::string(RECORD_FILE));
  if (auto written = desktop.write_private_file(path, instance_file_text(record)); !written) {
    return unexpected(path + ": " + platform.os_error_text(written.error()));
  }
  return {};
}

void forget_instance(Platform& platform, const std::string& data_folder,
                     const InstanceRecord& record) {
  const std::string path = platform.join_path(data_folder, std::string(RECORD_FILE));
  if (read_record(platform, path) == record) (void)platform.remove_file(path);
}

}  // namespace orvane::ui
