// The name a downloaded package file is saved under: what it holds, in letters any file system
// takes, so two downloads of different formations never share a name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/package.hpp"

namespace orvane::ui {

// "Relic Ring.json", "Relic Ring + 2 more.json", or "formations.json" for none.
std::string package_file_name(const std::vector<Formation>& formations);

// The Content-Disposition value of an attachment by that name: the name itself in UTF-8
// (RFC 5987) and a plain ASCII one for clients that read only that.
std::string attachment_header(std::string_view file_name);

}  // namespace orvane::ui
