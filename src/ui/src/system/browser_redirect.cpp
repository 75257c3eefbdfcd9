#include "orvane/ui/browser_redirect.hpp"

namespace orvane::ui {
namespace {

constexpr std::string_view REDIRECT_FILE = "open-page.html";

std::string html_escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string redirect_page(std::string_view address) {
  const std::string url = html_escaped(address);
  return "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"referrer\" content=\"no-referrer\">\n"
         "<meta http-equiv=\"refresh\" content=\"0;url=" +
         url +
         "\">\n<title>Orvane Probe Formations</title>\n</head>\n<body>\n"
         "<p><a href=\"" +
         url + "\">Open Orvane Probe Formations</a></p>\n</body>\n</html>\n";
}

Result<void, std::string> open_through_redirect(Platform& platform, Desktop& desktop,
                                                const std::string& data_folder,
                                                std::string_view address) {
  const std::string path = platform.join_path(data_folder, std::string(REDIRECT_FILE));
  if (auto written = desktop.write_private_file(path, redirect_page(address)); !written) {
    return unexpected(path + ": " + platform.os_error_text(written.error()));
  }
  if (auto opened = desktop.open_in_browser(path); !opened) {
    return unexpected(platform.os_error_text(opened.error()));
  }
  return {};
}

void remove_redirect(Platform& platform, const std::string& data_folder, std::string_view address) {
  const std::string path = platform.join_path(data_folder, std::string(REDIRECT_FILE));
  auto bytes = platform.read_file(path);
  if (!bytes) return;
  const std::string expected = redirect_page(address);
  if (std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()) == expected) {
    (void)platform.remove_file(path);
  }
}

}  // namespace orvane::ui
