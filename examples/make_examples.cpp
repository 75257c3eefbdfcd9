// Builds the demo account files of examples/settings_Default from their readable tagged JSON
// sources, each in the header form and with the checksum choice the table below gives it.
//
//   make_examples <source dir> <settings dir>
//
// reads <source dir>/core_user_<account>.json and writes <settings dir>/core_user_<account>.dat.
#include <boost/json/parse.hpp>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "marshal/json.hpp"
#include "marshal/writer.hpp"

namespace {

struct ExampleAccount {
  const char* account;
  marshal::EncodeOptions options;
};

// Each file shows the program a different shape: the client writes both header forms, with
// and without a checksum.
constexpr ExampleAccount EXAMPLE_ACCOUNTS[] = {
    {"1001", {.write_crc = false, .mode_byte = 1}},  // three formations
    {"1002", {.write_crc = true, .mode_byte = 1}},   // no custom formations at all
    {"1003", {.write_crc = false, .mode_byte = 1}},  // nine formations, one short of the limit
    {"1004", {.write_crc = true, .mode_byte = 0}},   // mapped header, checksum
};

bool read_text(const std::filesystem::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// An error text, or the empty string once the file is written.
std::string make_example(const std::filesystem::path& source_dir,
                         const std::filesystem::path& settings_dir, const ExampleAccount& example) {
  const std::string stem = std::string("core_user_") + example.account;
  const std::filesystem::path source = source_dir / (stem + ".json");
  std::string text;
  if (!read_text(source, text)) return source.string() + ": cannot be read";

  boost::system::error_code ec;
  const marshal::JsonValue tree = boost::json::parse(text, ec);
  if (ec) return source.string() + ": " + ec.message();
  auto value = marshal::json_to_value(tree);
  if (!value) return source.string() + ": " + value.error().message();
  auto bytes = marshal::write_marshal(*value, example.options);
  if (!bytes) return source.string() + ": " + bytes.error().message();

  const std::filesystem::path target = settings_dir / (stem + ".dat");
  if (!write_bytes(target, *bytes)) return target.string() + ": cannot be written";
  std::cout << target.string() << ": " << bytes->size() << " bytes\n";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_examples <source dir> <settings dir>\n";
    return 2;
  }
  for (const ExampleAccount& example : EXAMPLE_ACCOUNTS) {
    const std::string error = make_example(argv[1], argv[2], example);
    if (!error.empty()) {
      std::cerr << "make_examples: " << error << "\n";
      return 1;
    }
  }
  return 0;
}
