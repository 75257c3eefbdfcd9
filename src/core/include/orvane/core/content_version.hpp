// What a settings file holds, as one short text: two files with the same version hold the same
// bytes. The page names the version it showed, so a change against a file that has changed
// since is refused instead of made over what it did not see.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace orvane {

// 128 bits of XXH3 over every byte, in 32 lower-case hexadecimal digits.
std::string content_version(std::span<const std::uint8_t> bytes);

}  // namespace orvane
