// A folder typed or pasted by a player, as the window program opens it.
#include "folder_path.hpp"

#include <gtest/gtest.h>

namespace orvane::ui {
namespace {

TEST(UnderstoodFolder, TakesWhatPlayersPaste) {
  const FolderPlaces windows{"C:\\Users\\Ann\\AppData\\Local", std::nullopt};
  const FolderPlaces linux_home{std::nullopt, "/home/ann"};
  struct Case {
    const char* description;
    const char* typed;
    FolderPlaces places;
    const char* expected;
  };
  const Case cases[] = {
      {"plain path", "/home/ann/settings_Default", linux_home, "/home/ann/settings_Default"},
      {"blanks around", "  \t/srv/s \r\n", linux_home, "/srv/s"},
      {"copied as path", "\"D:\\Some Folder\\settings_Default\"", windows,
       "D:\\Some Folder\\settings_Default"},
      {"single quotes", "'/home/ann/my settings'", linux_home, "/home/ann/my settings"},
      {"quotes and blanks", "  \" /x/y \"  ", linux_home, "/x/y"},
      {"quotes that do not match stay", "\"/x/y'", linux_home, "\"/x/y'"},
      {"a lone quote stays", "\"", linux_home, "\""},
      {"two quotes are nothing", "\"\"", linux_home, ""},
      {"quote inside stays", "/x/it's", linux_home, "/x/it's"},
      {"local app data", "%LOCALAPPDATA%\\Game\\settings_Default", windows,
       "C:\\Users\\Ann\\AppData\\Local\\Game\\settings_Default"},
      {"local app data in any case", "%LocalAppData%/x", windows,
       "C:\\Users\\Ann\\AppData\\Local/x"},
      {"local app data alone", "%localappdata%", windows, "C:\\Users\\Ann\\AppData\\Local"},
      {"local app data in quotes", "\"%LOCALAPPDATA%\\s\"", windows,
       "C:\\Users\\Ann\\AppData\\Local\\s"},
      {"local app data glued to a name stays", "%LOCALAPPDATA%x", windows, "%LOCALAPPDATA%x"},
      {"local app data where there is none", "%LOCALAPPDATA%\\s", linux_home, "%LOCALAPPDATA%\\s"},
      {"local app data not at the start", "C:\\%LOCALAPPDATA%", windows, "C:\\%LOCALAPPDATA%"},
      {"home", "~/.wine/settings_Default", linux_home, "/home/ann/.wine/settings_Default"},
      {"home alone", "~", linux_home, "/home/ann"},
      {"home in quotes", "'~/a b'", linux_home, "/home/ann/a b"},
      {"another user's home stays", "~bob/x", linux_home, "~bob/x"},
      {"home before a backslash stays", "~\\x", linux_home, "~\\x"},
      {"home where there is none", "~/x", windows, "~/x"},
      {"tilde inside stays", "/x/~/y", linux_home, "/x/~/y"},
      {"empty", "", linux_home, ""},
      {"blanks only", "   ", linux_home, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(understood_folder(c.typed, c.places), c.expected);
  }
}

}  // namespace
}  // namespace orvane::ui
