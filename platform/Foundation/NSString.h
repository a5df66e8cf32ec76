// Strings: sequences of UTF-16 code units. NSString* and CFStringRef
// (CoreFoundation/CFString.h) name the same object.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "CoreFoundation/CFString.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSRange.h"

class NSArray;

using unichar = char16_t;

using NSStringCompareOptions = NSUInteger;
enum : NSStringCompareOptions {
    NSCaseInsensitiveSearch = 1,
    NSLiteralSearch = 2,
    NSBackwardsSearch = 4,
    NSAnchoredSearch = 8,
};

// One argument of a printf-style format, with the type it has once passed through "...": the
// default argument promotions turn bool, char and short into int and float into double. The
// format reads each argument as its directive says (%d an int, %ld a long, %g a double, %@ an
// object, %s a UTF-8 C string); a mismatch ends the process with a message.
using FormatArgument = std::variant<int, unsigned int, long, unsigned long, long long,
                                    unsigned long long, double, const NSObject*, const char*>;

template <class T>
FormatArgument toFormatArgument(T value) {
    if constexpr (std::is_same_v<T, std::nullptr_t>) {
        return static_cast<const NSObject*>(nullptr);
    } else if constexpr (std::is_integral_v<T> ||
                         (std::is_enum_v<T> && std::is_convertible_v<T, int>)) {
        return +value;  // the integral promotions
    } else if constexpr (std::is_floating_point_v<T>) {
        static_assert(!std::is_same_v<T, long double>, "long double is not a format argument");
        return static_cast<double>(value);
    } else if constexpr (std::is_convertible_v<T, const char*>) {
        return static_cast<const char*>(value);
    } else {
        static_assert(std::is_convertible_v<T, const NSObject*>, "unsupported format argument");
        return static_cast<const NSObject*>(value);
    }
}

class NSString : public NSObject {
public:
    // New +1 strings, for the Create functions and the model's own use.
    static NSString* create(std::u16string units);
    static NSString* createWithUTF8(std::string_view utf8);

    // Autoreleased convenience constructors.
    static NSString* string();
    static NSString* stringWithUTF8String(const char* utf8);
    static NSString* stringWithCharacters(const unichar* characters, NSUInteger length);
    static NSString* stringWithString(const NSString* other);
    template <class... Args>
    static NSString* stringWithFormat(const char* format, Args... args) {
        return formatted(format, {toFormatArgument(args)...});
    }
    static NSString* formatted(const char* format, std::initializer_list<FormatArgument> args);

    NSUInteger length() const { return units_.size(); }
    unichar characterAtIndex(NSUInteger index) const;
    const std::u16string& units() const { return units_; }
    // UTF-8 text; the pointer stays valid while the string lives and is not changed.
    const char* UTF8String() const;
    std::string utf8() const;

    bool isEqualToString(const NSString* other) const;
    bool hasPrefix(const NSString* prefix) const;
    bool hasSuffix(const NSString* suffix) const;
    // First occurrence of `other` (last with NSBackwardsSearch); {NSNotFound, 0} when there is
    // none or `other` is empty. NSCaseInsensitiveSearch compares Unicode case folds. Unless
    // NSLiteralSearch is given, canonically equivalent sequences match (é and e + U+0301), a
    // match never splits a composed character sequence, and the range is the receiver's own.
    NSRange rangeOfString(const NSString* other, NSStringCompareOptions options = 0) const;
    NSString* lowercaseString() const;
    NSString* uppercaseString() const;
    NSString* substringWithRange(NSRange range) const;
    NSString* substringFromIndex(NSUInteger index) const;
    NSString* stringByAppendingString(const NSString* other) const;
    NSArray* componentsSeparatedByString(const NSString* separator) const;

    // Path operations, on '/'-separated paths.
    NSString* lastPathComponent() const;
    NSString* pathExtension() const;
    NSString* stringByDeletingPathExtension() const;
    NSString* stringByDeletingLastPathComponent() const;
    NSString* stringByAppendingPathComponent(const NSString* component) const;
    bool isAbsolutePath() const { return !units_.empty() && units_[0] == u'/'; }

    // YES for text starting (after blanks, a sign and zeros) with Y, y, T, t or a digit 1-9.
    bool boolValue() const;
    int intValue() const;
    long long longLongValue() const;
    double doubleValue() const;

    CFTypeID typeID() const override { return kCFStringTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;
    NSString* description() const override;
    static Class class_() { return classOf<NSString>("NSString"); }

protected:
    NSString() = default;
    explicit NSString(std::u16string units) : units_(std::move(units)) {}
    NSString(Immortal tag, std::u16string units) : NSObject(tag), units_(std::move(units)) {}
    void unitsChanged() {
        utf8Valid_ = false;
        hashValid_ = false;
    }

    std::u16string units_;

private:
    friend CFStringRef CFStringMakeConstant(const char* utf8);
    mutable std::string utf8Cache_;
    mutable bool utf8Valid_ = false;
    // Computed at the first question: dictionaries ask for it at every lookup.
    mutable NSUInteger hash_ = 0;
    mutable bool hashValid_ = false;
};

class NSMutableString : public NSString {
public:
    static NSMutableString* create(std::u16string units = {});
    static NSMutableString* string();
    static NSMutableString* stringWithCapacity(NSUInteger capacity);
    static NSMutableString* stringWithString(const NSString* other);

    void appendString(const NSString* other);
    template <class... Args>
    void appendFormat(const char* format, Args... args) {
        appendString(formatted(format, {toFormatArgument(args)...}));
    }
    void insertString(const NSString* other, NSUInteger index);
    void deleteCharactersInRange(NSRange range);
    void replaceCharactersInRange(NSRange range, const NSString* replacement);
    void setString(const NSString* other);

    static Class class_() { return classOf<NSMutableString>("NSMutableString"); }

private:
    using NSString::NSString;
};
