// Text of the session in UTF-16 code units, as the strings of the frameworks hold it, and in
// UTF-8, as files and front ends write it.
#pragma once

#include <string>
#include <string_view>

namespace sim {

// UTF-16 code units of UTF-8 text, and back; a malformed sequence becomes U+FFFD.
std::u16string utf16FromUTF8(std::string_view utf8);
std::string utf8FromUTF16(std::u16string_view units);

}  // namespace sim
