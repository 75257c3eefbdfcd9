// The page's files, compiled into the program (the build generates their definition from
// src/ui/page/), so that each platform ships a single file.
#pragma once

#include <span>
#include <string_view>

namespace orvane::ui {

struct PageFile {
  std::string_view path;  // as requested, such as "/app.js"
  std::string_view content_type;
  std::string_view body;
};

std::span<const PageFile> page_files();

}  // namespace orvane::ui
