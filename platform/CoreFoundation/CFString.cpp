#include "CoreFoundation/CFString.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

#include "CoreFoundation/CFStringInternal.h"
#include "Foundation/NSString.h"

void appendUTF8(char32_t codePoint, std::string* text) {
    char bytes[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, static_cast<UChar32>(codePoint));
    text->append(bytes, static_cast<std::size_t>(length));
}

std::size_t firstInvalidUTF8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t index = 0;
    while (index < length) {
        const int32_t start = index;
        UChar32 codePoint;
        U8_NEXT(bytes, index, length, codePoint);
        if (codePoint < 0) {
            return static_cast<std::size_t>(start);
        }
    }
    return std::string_view::npos;
}

std::u16string foldedCase(std::u16string_view text) {
    return transformedByICU(text, [](const UChar* source, int32_t length, UChar* target,
                                     int32_t capacity, UErrorCode* error) {
        return u_strFoldCase(target, capacity, source, length, U_FOLD_CASE_DEFAULT, error);
    });
}

CFStringRef CFStringMakeConstant(const char* utf8) {
    // Equal literals give the same constant, as the compiler makes them on macOS. The table
    // lives as long as the program, never destroyed: constants outlive the images of code that
    // asked for them (the system's image is unloaded at every quit) and stay reachable.
    static auto& constants = *new std::map<std::string, const NSString*, std::less<>>;
    auto found = constants.find(utf8);
    if (found == constants.end()) {
        found =
            constants.emplace(utf8, new NSString(NSString::Immortal{}, utf16FromUTF8(utf8))).first;
    }
    return found->second;
}

CFTypeID CFStringGetTypeID() {
    return kCFStringTypeID;
}

CFIndex CFStringGetLength(CFStringRef string) {
    return static_cast<CFIndex>(string->length());
}

UniChar CFStringGetCharacterAtIndex(CFStringRef string, CFIndex index) {
    return string->characterAtIndex(static_cast<NSUInteger>(index));
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* text, CFStringEncoding encoding) {
    if (text == nullptr) {
        return nullptr;
    }
    if (encoding == kCFStringEncodingASCII) {
        for (const char* p = text; *p != '\0'; ++p) {
            if (static_cast<unsigned char>(*p) > 0x7F) {
                return nullptr;
            }
        }
    }
    return NSString::createWithUTF8(text);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* characters,
                                         CFIndex length) {
    return NSString::create(std::u16string(characters, static_cast<std::size_t>(length)));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef string) {
    return NSString::create(string->units());
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex) {
    return NSMutableString::create();
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef string) {
    return NSMutableString::create(string->units());
}

void CFStringAppend(CFMutableStringRef string, CFStringRef appended) {
    string->appendString(appended);
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    const std::string text = string->utf8();
    if (encoding == kCFStringEncodingASCII && std::any_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) > 0x7F;
        })) {
        return false;
    }
    if (bufferSize <= 0 || text.size() + 1 > static_cast<std::size_t>(bufferSize)) {
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options) {
    std::u16string left = a->units();
    std::u16string right = b->units();
    if ((options & kCFCompareCaseInsensitive) != 0) {
        left = foldedCase(left);
        right = foldedCase(right);
    }
    const int order = left.compare(right);
    return order < 0 ? kCFCompareLessThan : order > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

Boolean CFStringHasPrefix(CFStringRef string, CFStringRef prefix) {
    return string->hasPrefix(prefix);
}
