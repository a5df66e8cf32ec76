#include "Foundation/NSURL.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>

#include "CoreFoundation/CFStringInternal.h"
#include "Foundation/NSString.h"
#include "TypeCastsCocoa.h"
#include "sim/FileSystem.h"

namespace {

// An ASCII character that a URL's path holds as it is.
bool keptUnencoded(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c < 0x80 && std::string_view("-._~/!$&'()*+,;=:@").find(static_cast<char>(c)) !=
                            std::string_view::npos);
}

std::string percentEncode(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : path) {
        if (keptUnencoded(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecode(const std::string& text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        decoded += text[i];
    }
    return decoded;
}

// The path part of a URL text: after "scheme://authority" for an absolute URL, before any
// query or fragment.
std::u16string_view pathPart(std::u16string_view text) {
    const std::size_t scheme = text.find(u"://");
    if (scheme != std::u16string_view::npos && text.find(u'/') > scheme) {
        const std::size_t pathStart = text.find(u'/', scheme + 3);
        text =
            pathStart == std::u16string_view::npos ? std::u16string_view() : text.substr(pathStart);
    }
    return text.substr(0, text.find_first_of(u"?#"));
}

template <class Path>
Path withoutTrailingSlash(Path path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}

NSString* autoreleased(std::u16string units) {
    return NSObject::autorelease(NSString::create(std::move(units)));
}

bool isSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// The decoded path of a URL text, without a trailing slash. Escapes are decoded as UTF-8 bytes;
// a path without escapes and without surrogates (which the conversion would replace) is its own
// decoding, so it is taken as it is, without converting it to UTF-8 and back.
NSString* decodedPath(std::u16string_view text) {
    const std::u16string_view path = pathPart(text);
    if (std::none_of(path.begin(), path.end(),
                     [](char16_t unit) { return unit == u'%' || isSurrogate(unit); })) {
        return autoreleased(std::u16string(withoutTrailingSlash(path)));
    }
    const std::string decoded = percentDecode(utf8FromUTF16(path));
    return autoreleased(utf16FromUTF8(withoutTrailingSlash(std::string_view(decoded))));
}

// The path with every byte of its UTF-8 form that a URL cannot hold escaped; a path of ASCII
// characters that need no escape is its own encoding.
std::u16string encodedPath(const NSString* path) {
    const std::u16string& units = path->units();
    if (std::all_of(units.begin(), units.end(), keptUnencoded)) {
        return units;
    }
    const std::string encoded = percentEncode(path->utf8());
    return std::u16string(encoded.begin(), encoded.end());  // ASCII only
}

}  // namespace

NSURL::NSURL(const NSString* text, const NSURL* base)
    : text_(NSString::create(text->units())),
      base_(base ? static_cast<NSURL*>(base->retain()) : nullptr) {}

NSURL::~NSURL() {
    text_->release();
    if (base_ != nullptr) {
        base_->release();
    }
}

NSURL* NSURL::createFileURL(const NSString* path, bool isDirectory) {
    std::u16string text = encodedPath(path);
    if (isDirectory && (text.empty() || text.back() != u'/')) {
        text += u'/';
    }
    if (path->isAbsolutePath()) {
        return new NSURL(autoreleased(u"file://" + text), nullptr);
    }
    // A relative path is relative to the current folder, which becomes the base URL.
    NSURL* base = createFileURL(
        NSString::stringWithUTF8String(std::filesystem::current_path().c_str()), true);
    auto* url = new NSURL(autoreleased(text), base);
    base->release();
    return url;
}

NSURL* NSURL::createWithString(const NSString* text, const NSURL* base) {
    return new NSURL(text, base);
}

NSURL* NSURL::fileURLWithPath(const NSString* path) {
    return fileURLWithPathIsDirectory(path, sim::fileSystemIsDirectory(path->utf8()));
}

NSURL* NSURL::fileURLWithPathIsDirectory(const NSString* path, bool isDirectory) {
    return autorelease(createFileURL(path, isDirectory));
}

NSURL* NSURL::URLWithString(const NSString* text) {
    return autorelease(createWithString(text, nullptr));
}

NSString* NSURL::relativeString() const {
    return bridge(text_);
}

NSString* NSURL::absoluteString() const {
    if (base_ == nullptr) {
        return bridge(text_);
    }
    std::string baseText = base_->absoluteString()->utf8();
    if (baseText.empty() || baseText.back() != '/') {
        baseText = baseText.substr(0, baseText.rfind('/') + 1);
    }
    return autoreleased(utf16FromUTF8(baseText + text_->utf8()));
}

NSString* NSURL::relativePath() const {
    return decodedPath(text_->units());
}

NSString* NSURL::path() const {
    return decodedPath(absoluteString()->units());
}

bool NSURL::isFileURL() const {
    return absoluteString()->utf8().starts_with("file:");
}

bool NSURL::hasDirectoryPath() const {
    const std::u16string_view path = pathPart(text_->units());
    return !path.empty() && path.back() == u'/';
}

bool NSURL::isEqual(const NSObject* other) const {
    const NSURL* url = dynamic_objc_cast<NSURL>(other);
    if (url == nullptr || !text_->isEqualToString(url->text_)) {
        return false;
    }
    if (base_ == nullptr || url->base_ == nullptr) {
        return base_ == url->base_;
    }
    return base_->isEqual(url->base_);
}

NSUInteger NSURL::hash() const {
    return text_->hash();
}

NSString* NSURL::description() const {
    if (base_ == nullptr) {
        return bridge(text_);
    }
    return NSString::stringWithFormat("%@ -- %@", text_, base_);
}
