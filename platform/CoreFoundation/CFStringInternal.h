// What the string implementation shares inside the platform: the one conversion between UTF-8
// and UTF-16, Unicode case folding and the way ICU's UTF-16 transformations are called.
#pragma once

#include <unicode/utypes.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "sim/UTF16.h"

using sim::utf16FromUTF8;
using sim::utf8FromUTF16;
// The UTF-8 form of one code point (below U+110000, no surrogate) appended to `text`.
void appendUTF8(char32_t codePoint, std::string* text);
// The offset of the first byte that does not belong to well-formed UTF-8 (a stray
// continuation byte, a sequence cut short, an overlong form, a surrogate or a code point beyond
// U+10FFFF), or npos: for readers that refuse such text rather than replace it.
std::size_t firstInvalidUTF8(std::string_view text);

// The full case fold of a text (ICU's default folding); the text unchanged when ICU fails.
std::u16string foldedCase(std::u16string_view text);

// Runs an ICU transformation that writes UTF-16 into a buffer, growing the buffer once when it
// is too small; the text unchanged when ICU fails.
template <class Transform>
std::u16string transformedByICU(std::u16string_view text, Transform transform) {
    std::u16string result(text.size() * 2 + 4, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode error = U_ZERO_ERROR;
        const int32_t length = transform(
            reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
            reinterpret_cast<UChar*>(result.data()), static_cast<int32_t>(result.size()), &error);
        if (U_SUCCESS(error)) {
            result.resize(static_cast<std::size_t>(length));
            return result;
        }
        if (error != U_BUFFER_OVERFLOW_ERROR) {
            break;
        }
        result.assign(static_cast<std::size_t>(length), u'\0');
    }
    return std::u16string(text);
}
