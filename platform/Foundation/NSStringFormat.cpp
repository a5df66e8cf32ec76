// NSString's formatted strings (stringWithFormat:): printf's directives for numbers and C
// strings, %@ for an object's description, each directive checked against its argument's type.
// A format that does not fit its arguments is a programming error: it ends the process with a
// message that names the directive.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "CoreFoundation/CFStringInternal.h"
#include "Foundation/NSString.h"

namespace {

// What a format's directive reads, named for messages.
enum class FormatKind { Int, Long, LongLong, Double, Object, CString };

const char* describe(FormatKind kind) {
    switch (kind) {
        case FormatKind::Int:
            return "an int";
        case FormatKind::Long:
            return "a long";
        case FormatKind::LongLong:
            return "a long long";
        case FormatKind::Double:
            return "a double";
        case FormatKind::Object:
            return "an object";
        case FormatKind::CString:
            return "a C string";
    }
    return "?";
}

const char* describe(const FormatArgument& argument) {
    static const char* const names[] = {
        "an int",           "an unsigned int", "a long",
        "an unsigned long", "a long long",     "an unsigned long long",
        "a double",         "an object",       "a C string"};
    return names[argument.index()];
}

[[noreturn]] void formatMisuse(const char* format, const std::string& what) {
    std::fprintf(stderr, "NSString format \"%s\": %s\n", format, what.c_str());
    std::abort();
}

// The type a directive reads: from its length modifier and conversion; nullopt when the
// directive is not one this format understands.
std::optional<FormatKind> kindOf(std::string_view length, char conversion) {
    if (conversion == '@') {
        return length.empty() ? std::optional(FormatKind::Object) : std::nullopt;
    }
    if (conversion == 's') {
        return length.empty() ? std::optional(FormatKind::CString) : std::nullopt;
    }
    if (std::strchr("eEfFgGaA", conversion) != nullptr) {
        // "l" is allowed and means nothing for a double, as in printf.
        return length.empty() || length == "l" ? std::optional(FormatKind::Double) : std::nullopt;
    }
    if (conversion == 'c') {
        return length.empty() ? std::optional(FormatKind::Int) : std::nullopt;
    }
    if (std::strchr("diouxX", conversion) == nullptr) {
        return std::nullopt;
    }
    if (length.empty() || length == "h" || length == "hh") {
        return FormatKind::Int;
    }
    if (length == "l" || length == "z" || length == "t" || length == "j") {
        return FormatKind::Long;
    }
    if (length == "ll" || length == "q") {
        return FormatKind::LongLong;
    }
    return std::nullopt;
}

// Whether the argument is of the type the directive reads; an integer of the right width
// counts whichever its signedness, as for printf.
bool matches(FormatKind kind, const FormatArgument& argument) {
    switch (kind) {
        case FormatKind::Int:
            return std::holds_alternative<int>(argument) ||
                   std::holds_alternative<unsigned int>(argument);
        case FormatKind::Long:
            return std::holds_alternative<long>(argument) ||
                   std::holds_alternative<unsigned long>(argument);
        case FormatKind::LongLong:
            return std::holds_alternative<long long>(argument) ||
                   std::holds_alternative<unsigned long long>(argument);
        case FormatKind::Double:
            return std::holds_alternative<double>(argument);
        case FormatKind::Object:
            return std::holds_alternative<const NSObject*>(argument);
        case FormatKind::CString:
            return std::holds_alternative<const char*>(argument);
    }
    return false;
}

template <class T>
std::string printOne(const std::string& directive, T value) {
    const int needed = std::snprintf(nullptr, 0, directive.c_str(), value);
    if (needed <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(text.data(), text.size(), directive.c_str(), value);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

// One directive of a numeric kind, its argument checked already.
std::string formatNumber(const std::string& directive, const FormatArgument& argument) {
    return std::visit(
        [&](auto value) -> std::string {
            using T = decltype(value);
            if constexpr (std::is_arithmetic_v<T>) {
                return printOne(directive, value);
            } else {
                return {};
            }
        },
        argument);
}

// A directive of a format, from its '%' on: its text ("%5.2f") and the type it reads (none
// for a directive this format does not understand, or one cut short by the format's end).
struct Directive {
    std::string text;
    std::optional<FormatKind> kind;
};

// Reads the directive at `p`, which is left on the directive's last character.
Directive readDirective(const char*& p) {
    const char* start = p++;
    while (*p != '\0' && std::strchr("-+ #0123456789.", *p) != nullptr) {
        ++p;
    }
    const char* lengthStart = p;
    while (*p != '\0' && std::strchr("hlqjzt", *p) != nullptr) {
        ++p;
    }
    if (*p == '\0') {
        return {std::string(start, p), std::nullopt};
    }
    const std::string_view length(lengthStart, static_cast<std::size_t>(p - lengthStart));
    return {std::string(start, p + 1), kindOf(length, *p)};
}

}  // namespace

NSString* NSString::formatted(const char* format, std::initializer_list<FormatArgument> args) {
    std::u16string result;
    std::string literal;
    auto flushLiteral = [&] {
        result += utf16FromUTF8(literal);
        literal.clear();
    };
    auto next = args.begin();
    std::size_t directives = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            literal += *p;
            continue;
        }
        if (p[1] == '%') {
            literal += '%';
            ++p;
            continue;
        }
        const Directive directive = readDirective(p);
        ++directives;
        auto which = [&] {
            return "directive " + std::to_string(directives) + " (" + directive.text + ")";
        };
        const std::optional<FormatKind> kind = directive.kind;
        if (!kind) {
            formatMisuse(format, which() + " is not a directive this format understands");
        }
        if (next == args.end()) {
            formatMisuse(format, which() + " has no argument");
        }
        const FormatArgument& argument = *next++;
        if (!matches(*kind, argument)) {
            formatMisuse(format, which() + " reads " + describe(*kind) + ", the argument is " +
                                     describe(argument));
        }
        flushLiteral();
        if (*kind == FormatKind::Object) {
            const NSObject* object = std::get<const NSObject*>(argument);
            result += object == nullptr ? u"(null)" : object->description()->units_;
        } else if (*kind == FormatKind::CString) {
            const char* text = std::get<const char*>(argument);
            result += utf16FromUTF8(text != nullptr ? text : "(null)");
        } else {
            result += utf16FromUTF8(formatNumber(directive.text, argument));
        }
    }
    if (next != args.end()) {
        formatMisuse(format, std::to_string(args.size()) + " arguments for " +
                                 std::to_string(directives) +
                                 (directives == 1 ? " directive" : " directives"));
    }
    flushLiteral();
    return autorelease(create(std::move(result)));
}
