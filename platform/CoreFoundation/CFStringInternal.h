// What the string implementation shares inside the platform: the one conversion between UTF-8
// and UTF-16, and Unicode case folding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// UTF-16 code units of UTF-8 text, and back; a malformed sequence becomes U+FFFD.
std::u16string utf16FromUTF8(std::string_view utf8);
std::string utf8FromUTF16(std::u16string_view units);

// The full case fold of a text, with the index in the original text of the code point that
// produced each folded unit, so that a match in the folded text maps back to a range of
// whole code points of the original.
struct FoldedText {
    std::u16string units;
    std::vector<std::size_t> origin;  // one more entry than units: the original length
};
FoldedText foldCase(const std::u16string& text);
