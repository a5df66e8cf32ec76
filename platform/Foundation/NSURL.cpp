#include "Foundation/NSURL.h"

#include <filesystem>
#include <string>

#include "Foundation/NSString.h"
#include "TypeCastsCocoa.h"
#include "sim/FileSystem.h"

namespace {

bool keptUnencoded(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~/!$&'()*+,;=:@").find(static_cast<char>(c)) !=
               std::string_view::npos;
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
std::string pathPart(const std::string& text) {
    std::string rest = text;
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos && rest.find('/') > scheme) {
        const std::size_t pathStart = rest.find('/', scheme + 3);
        rest = pathStart == std::string::npos ? "" : rest.substr(pathStart);
    }
    const std::size_t cut = rest.find_first_of("?#");
    return cut == std::string::npos ? rest : rest.substr(0, cut);
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

NSString* autoreleased(const std::string& utf8) {
    return NSObject::autorelease(NSString::createWithUTF8(utf8));
}

// The decoded path of the URL text itself, without a trailing slash.
std::string decodedRelativePath(const NSString* text) {
    return withoutTrailingSlash(percentDecode(pathPart(text->utf8())));
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
    std::string text = percentEncode(path->utf8());
    if (isDirectory && (text.empty() || text.back() != '/')) {
        text += '/';
    }
    if (path->isAbsolutePath()) {
        return new NSURL(autoreleased("file://" + text), nullptr);
    }
    // A relative path is relative to the current folder, which becomes the base URL.
    NSURL* base = createFileURL(autoreleased(std::filesystem::current_path().string()), true);
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
    return autoreleased(baseText + text_->utf8());
}

NSString* NSURL::relativePath() const {
    return autoreleased(decodedRelativePath(text_));
}

NSString* NSURL::path() const {
    return autoreleased(withoutTrailingSlash(percentDecode(pathPart(absoluteString()->utf8()))));
}

bool NSURL::isFileURL() const {
    return absoluteString()->utf8().starts_with("file:");
}

bool NSURL::hasDirectoryPath() const {
    const std::string path = pathPart(text_->utf8());
    return !path.empty() && path.back() == '/';
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
