#include "Foundation/NSString.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <variant>
#include <vector>

#include "CoreFoundation/CFStringInternal.h"
#include "Foundation/NSArray.h"
#include "RetainPtr.h"
#include "TypeCastsCocoa.h"

namespace {

// A text turned into the key that a search compares, with the index in the original text of
// the segment that produced each unit of the key, so that a match of whole segments maps back
// to a range of the original's own characters.
struct KeyedText {
    std::u16string units;
    std::vector<std::size_t> origin;  // one more entry than units: the original length
};

bool startsSegment(const KeyedText& text, std::size_t index) {
    return index == 0 || index == text.units.size() || text.origin[index] != text.origin[index - 1];
}

// ICU's canonical decomposition (NFD); null if ICU cannot give it.
const UNormalizer2* canonicalDecomposition() {
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2* form = unorm2_getNFDInstance(&error);
    return U_SUCCESS(error) ? form : nullptr;
}

std::u16string decomposed(const UNormalizer2* form, std::u16string_view text) {
    return transformedByICU(text, [form](const UChar* source, int32_t length, UChar* target,
                                         int32_t capacity, UErrorCode* error) {
        return unorm2_normalize(form, source, length, target, capacity, error);
    });
}

// The key of a text for a search. A literal search compares code points, each case-folded
// when case is ignored. Any other search compares canonically equivalent sequences as equal
// (é and e + U+0301): the text is cut where its canonical decomposition may be cut (before
// each character that starts a new sequence), and each piece is decomposed, then, when case is
// ignored, case-folded and decomposed again. A match must start and end where pieces do.
KeyedText searchKey(const std::u16string& text, bool literal, bool ignoreCase) {
    const UNormalizer2* form = literal ? nullptr : canonicalDecomposition();
    KeyedText keyed;
    const auto* source = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t index = 0;
    while (index < length) {
        const int32_t start = index;
        UChar32 codePoint;
        U16_NEXT(source, index, length, codePoint);
        while (form != nullptr && index < length) {
            int32_t next = index;
            U16_NEXT(source, next, length, codePoint);
            if (unorm2_hasBoundaryBefore(form, codePoint)) {
                break;
            }
            index = next;
        }
        std::u16string piece(text, static_cast<std::size_t>(start),
                             static_cast<std::size_t>(index - start));
        if (form != nullptr) {
            piece = decomposed(form, piece);
        }
        if (ignoreCase) {
            piece = foldedCase(piece);
            if (form != nullptr) {
                piece = decomposed(form, piece);
            }
        }
        keyed.units += piece;
        keyed.origin.insert(keyed.origin.end(), piece.size(), static_cast<std::size_t>(start));
    }
    keyed.origin.push_back(text.size());
    return keyed;
}

std::u16string mapCase(const std::u16string& text, bool upper) {
    if (text.empty()) {
        return {};
    }
    std::u16string result(text.size() * 3 + 8, u'\0');
    UErrorCode error = U_ZERO_ERROR;
    const auto* source = reinterpret_cast<const UChar*>(text.data());
    auto* target = reinterpret_cast<UChar*>(result.data());
    const auto capacity = static_cast<int32_t>(result.size());
    const auto length = static_cast<int32_t>(text.size());
    const int32_t written = upper ? u_strToUpper(target, capacity, source, length, "", &error)
                                  : u_strToLower(target, capacity, source, length, "", &error);
    if (U_FAILURE(error)) {
        return text;
    }
    result.resize(static_cast<std::size_t>(written));
    return result;
}

// Index just past the last path component, ignoring trailing slashes (but keeping a lone
// root slash).
std::size_t endWithoutTrailingSlashes(const std::u16string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == u'/') {
        --end;
    }
    return end;
}

std::size_t lastComponentStart(const std::u16string& path, std::size_t end) {
    if (end == 1 && path[0] == u'/') {
        return 0;
    }
    const std::size_t slash = path.rfind(u'/', end == 0 ? 0 : end - 1);
    return slash == std::u16string::npos ? 0 : slash + 1;
}

// Position of the '.' that starts the extension of the component [start, end), or npos. A dot
// that starts the component (".profile") is no extension.
std::size_t extensionDot(const std::u16string& path, std::size_t start, std::size_t end) {
    for (std::size_t i = end; i > start + 1; --i) {
        if (path[i - 1] == u'.') {
            return i - 1;
        }
    }
    return std::u16string::npos;
}

}  // namespace

NSString* NSString::create(std::u16string units) {
    return new NSString(std::move(units));
}

NSString* NSString::createWithUTF8(std::string_view utf8) {
    return create(utf16FromUTF8(utf8));
}

NSString* NSString::string() {
    return autorelease(create({}));
}

NSString* NSString::stringWithUTF8String(const char* utf8) {
    return autorelease(createWithUTF8(utf8 ? utf8 : ""));
}

NSString* NSString::stringWithCharacters(const unichar* characters, NSUInteger length) {
    return autorelease(create(std::u16string(characters, length)));
}

NSString* NSString::stringWithString(const NSString* other) {
    return autorelease(create(other->units_));
}

unichar NSString::characterAtIndex(NSUInteger index) const {
    if (index >= units_.size()) {
        std::fprintf(stderr, "NSString characterAtIndex: %lu out of range\n", index);
        std::abort();
    }
    return units_[index];
}

const char* NSString::UTF8String() const {
    if (!utf8Valid_) {
        utf8Cache_ = utf8FromUTF16(units_);
        utf8Valid_ = true;
    }
    return utf8Cache_.c_str();
}

std::string NSString::utf8() const {
    return utf8FromUTF16(units_);
}

bool NSString::isEqualToString(const NSString* other) const {
    return other != nullptr && units_ == other->units_;
}

bool NSString::hasPrefix(const NSString* prefix) const {
    return prefix != nullptr && !prefix->units_.empty() && units_.starts_with(prefix->units_);
}

bool NSString::hasSuffix(const NSString* suffix) const {
    return suffix != nullptr && !suffix->units_.empty() && units_.ends_with(suffix->units_);
}

NSRange NSString::rangeOfString(const NSString* other, NSStringCompareOptions options) const {
    const NSRange notFound{NSNotFound, 0};
    if (other == nullptr || other->units_.empty() || units_.empty()) {
        return notFound;
    }
    const bool backwards = (options & NSBackwardsSearch) != 0;
    const bool anchored = (options & NSAnchoredSearch) != 0;
    const bool literal = (options & NSLiteralSearch) != 0;
    const bool ignoreCase = (options & NSCaseInsensitiveSearch) != 0;
    const KeyedText haystack = searchKey(units_, literal, ignoreCase);
    const std::u16string needle = searchKey(other->units_, literal, ignoreCase).units;
    if (needle.empty() || needle.size() > haystack.units.size()) {
        return notFound;
    }
    auto matchAt = [&](std::size_t start) -> bool {
        const std::size_t end = start + needle.size();
        return startsSegment(haystack, start) && startsSegment(haystack, end) &&
               haystack.units.compare(start, needle.size(), needle) == 0;
    };
    const std::size_t last = haystack.units.size() - needle.size();
    for (std::size_t step = 0; step <= last; ++step) {
        const std::size_t start = backwards ? last - step : step;
        if (matchAt(start)) {
            const std::size_t from = haystack.origin[start];
            const std::size_t to = haystack.origin[start + needle.size()];
            return {from, to - from};
        }
        if (anchored) {
            break;
        }
    }
    return notFound;
}

NSString* NSString::lowercaseString() const {
    return autorelease(create(mapCase(units_, false)));
}

NSString* NSString::uppercaseString() const {
    return autorelease(create(mapCase(units_, true)));
}

NSString* NSString::substringWithRange(NSRange range) const {
    if (range.location > units_.size() || range.length > units_.size() - range.location) {
        std::fprintf(stderr, "NSString substringWithRange: range out of bounds\n");
        std::abort();
    }
    return autorelease(create(units_.substr(range.location, range.length)));
}

NSString* NSString::substringFromIndex(NSUInteger index) const {
    return substringWithRange(NSMakeRange(index, units_.size() - std::min(index, units_.size())));
}

NSString* NSString::stringByAppendingString(const NSString* other) const {
    return autorelease(create(units_ + other->units_));
}

NSArray* NSString::componentsSeparatedByString(const NSString* separator) const {
    NSMutableArray* pieces = NSMutableArray::array();
    const std::u16string& sep = separator->units_;
    std::size_t start = 0;
    while (!sep.empty()) {
        const std::size_t found = units_.find(sep, start);
        if (found == std::u16string::npos) {
            break;
        }
        pieces->addObject(NSString::stringWithCharacters(units_.data() + start, found - start));
        start = found + sep.size();
    }
    pieces->addObject(NSString::stringWithCharacters(units_.data() + start, units_.size() - start));
    return pieces;
}

NSString* NSString::lastPathComponent() const {
    const std::size_t end = endWithoutTrailingSlashes(units_);
    const std::size_t start = lastComponentStart(units_, end);
    return autorelease(create(units_.substr(start, end - start)));
}

NSString* NSString::pathExtension() const {
    const std::size_t end = endWithoutTrailingSlashes(units_);
    const std::size_t dot = extensionDot(units_, lastComponentStart(units_, end), end);
    return autorelease(
        create(dot == std::u16string::npos ? u"" : units_.substr(dot + 1, end - dot - 1)));
}

NSString* NSString::stringByDeletingPathExtension() const {
    const std::size_t end = endWithoutTrailingSlashes(units_);
    const std::size_t dot = extensionDot(units_, lastComponentStart(units_, end), end);
    return autorelease(create(units_.substr(0, dot == std::u16string::npos ? end : dot)));
}

NSString* NSString::stringByDeletingLastPathComponent() const {
    const std::size_t end = endWithoutTrailingSlashes(units_);
    std::size_t start = lastComponentStart(units_, end);
    if (start == 0) {
        return autorelease(create(isAbsolutePath() ? u"/" : u""));
    }
    std::size_t keep = start;
    while (keep > 1 && units_[keep - 1] == u'/') {
        --keep;
    }
    return autorelease(create(units_.substr(0, keep)));
}

NSString* NSString::stringByAppendingPathComponent(const NSString* component) const {
    std::u16string joined = units_;
    if (!joined.empty() && !component->units_.empty()) {
        joined += u'/';
    }
    joined += component->units_;
    // Fold repeated slashes and drop a trailing one, as the path functions do.
    std::u16string clean;
    for (char16_t unit : joined) {
        if (unit == u'/' && !clean.empty() && clean.back() == u'/') {
            continue;
        }
        clean += unit;
    }
    if (clean.size() > 1 && clean.back() == u'/') {
        clean.pop_back();
    }
    return autorelease(create(std::move(clean)));
}

bool NSString::boolValue() const {
    std::size_t i = 0;
    while (i < units_.size() && (units_[i] == u' ' || units_[i] == u'\t' || units_[i] == u'\n')) {
        ++i;
    }
    if (i < units_.size() && (units_[i] == u'+' || units_[i] == u'-')) {
        ++i;
    }
    while (i < units_.size() && units_[i] == u'0') {
        ++i;
    }
    if (i == units_.size()) {
        return false;
    }
    const char16_t c = units_[i];
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

long long NSString::longLongValue() const {
    const std::string text = utf8();
    errno = 0;
    return std::strtoll(text.c_str(), nullptr, 10);
}

int NSString::intValue() const {
    return static_cast<int>(std::clamp<long long>(longLongValue(), INT_MIN, INT_MAX));
}

double NSString::doubleValue() const {
    return std::strtod(utf8().c_str(), nullptr);
}

bool NSString::isEqual(const NSObject* other) const {
    const NSString* string = dynamic_objc_cast<NSString>(other);
    if (string == nullptr || (hashValid_ && string->hashValid_ && hash_ != string->hash_)) {
        return false;
    }
    return units_ == string->units_;
}

NSUInteger NSString::hash() const {
    if (!hashValid_) {
        // FNV-1a over the code units: equal strings hash alike.
        std::uint64_t hash = 1469598103934665603ull;
        for (char16_t unit : units_) {
            hash = (hash ^ unit) * 1099511628211ull;
        }
        hash_ = static_cast<NSUInteger>(hash);
        hashValid_ = true;
    }
    return hash_;
}

NSString* NSString::description() const {
    return bridge(retainPtr(this).autorelease());
}

NSMutableString* NSMutableString::create(std::u16string units) {
    return new NSMutableString(std::move(units));
}

NSMutableString* NSMutableString::string() {
    return autorelease(create());
}

NSMutableString* NSMutableString::stringWithCapacity(NSUInteger capacity) {
    NSMutableString* result = string();
    result->units_.reserve(capacity);
    return result;
}

NSMutableString* NSMutableString::stringWithString(const NSString* other) {
    return autorelease(create(other->units()));
}

void NSMutableString::appendString(const NSString* other) {
    units_ += other->units();
    unitsChanged();
}

void NSMutableString::insertString(const NSString* other, NSUInteger index) {
    replaceCharactersInRange(NSMakeRange(index, 0), other);
}

void NSMutableString::deleteCharactersInRange(NSRange range) {
    replaceCharactersInRange(range, NSString::string());
}

void NSMutableString::replaceCharactersInRange(NSRange range, const NSString* replacement) {
    if (range.location > units_.size() || range.length > units_.size() - range.location) {
        std::fprintf(stderr, "NSMutableString replaceCharactersInRange: range out of bounds\n");
        std::abort();
    }
    units_.replace(range.location, range.length, replacement->units());
    unitsChanged();
}

void NSMutableString::setString(const NSString* other) {
    units_ = other->units();
    unitsChanged();
}
