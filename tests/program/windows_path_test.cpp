#include "orvane/platform/windows_path.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orvane {
namespace {

// What the file API is handed: every path in the `\\?\` form, whatever its length or spelling.
TEST(SystemPath, EveryPathBecomesItsFullExtendedLengthForm) {
  const std::wstring cwd = std::filesystem::current_path().wstring();
  const std::string long_name(300, 'n');
  struct Case {
    const char* description;
    std::string path;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {"absolute", "C:\\dir\\core_user_1.dat", L"\\\\?\\C:\\dir\\core_user_1.dat"},
      {"forward slashes and dot segments", "C:/dir/./sub/../core_user_1.dat",
       L"\\\\?\\C:\\dir\\core_user_1.dat"},
      {"relative", "core_user_1.dat", L"\\\\?\\" + cwd + L"\\core_user_1.dat"},
      {"relative, past 260 characters", "d/" + long_name,
       L"\\\\?\\" + cwd + L"\\d\\" + std::wstring(long_name.begin(), long_name.end())},
      {"share", "\\\\server\\share\\core_user_1.dat",
       L"\\\\?\\UNC\\server\\share\\core_user_1.dat"},
      {"share, forward slashes", "//server/share/core_user_1.dat",
       L"\\\\?\\UNC\\server\\share\\core_user_1.dat"},
      {"already extended: as typed", "\\\\?\\C:\\dir\\..\\x.dat", L"\\\\?\\C:\\dir\\..\\x.dat"},
      {"device: as typed", "\\\\.\\pipe\\x", L"\\\\.\\pipe\\x"},
      {"non-ASCII", "C:\\J\xC3\xB6rd\\\xF0\x9F\x9B\xB0.dat",
       L"\\\\?\\C:\\J\u00F6rd\\\U0001F6F0.dat"},
      {"empty: left to the file call", "", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    auto converted = system_path(c.path);
    ASSERT_TRUE(converted) << converted.error().code;
    EXPECT_EQ(*converted, c.expected);
  }
}

TEST(SystemPath, RefusesWhatWouldNameAnotherFile) {
  const std::vector<std::pair<std::string, int>> cases = {
      {std::string("core_user_1.dat\0.txt", 20), 123},  // ERROR_INVALID_NAME
      {"core_user_\xff.dat", 1113},                     // ERROR_NO_UNICODE_TRANSLATION
  };
  for (const auto& [path, code] : cases) {
    SCOPED_TRACE(code);
    auto converted = system_path(path);
    ASSERT_FALSE(converted);
    EXPECT_EQ(converted.error().code, code);
  }
}

}  // namespace
}  // namespace orvane
