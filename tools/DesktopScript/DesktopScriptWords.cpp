#include "DesktopScript/DesktopScriptWords.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace sim::script {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

LineWords wordsOfLine(std::string_view line) {
    LineWords result;
    std::size_t at = 0;
    while (at < line.size()) {
        if (isBlank(line[at])) {
            ++at;
            continue;
        }
        if (line[at] == '#') {
            break;
        }
        Word word;
        bool keyIsBare = true;  // nothing quoted yet, so an `=` may still end a key
        while (at < line.size() && !isBlank(line[at]) && line[at] != '#') {
            const char c = line[at];
            if (c == '"') {
                word.quoted = true;
                keyIsBare = false;
                ++at;
                bool closed = false;
                while (at < line.size()) {
                    const char inner = line[at++];
                    if (inner == '"') {
                        closed = true;
                        break;
                    }
                    if (inner == '\\') {
                        if (at < line.size() && (line[at] == '"' || line[at] == '\\')) {
                            word.text += line[at++];
                            continue;
                        }
                        result.error = "a backslash in quotes must be followed by \" or \\";
                        return result;
                    }
                    word.text += inner;
                }
                if (!closed) {
                    result.error = "a quoted word is not closed";
                    return result;
                }
                continue;
            }
            if (c == '=' && keyIsBare && !word.equalsAt && !word.text.empty()) {
                word.equalsAt = word.text.size();
            } else if (!isLetter(c)) {
                keyIsBare = false;
            }
            word.text += c;
            ++at;
        }
        result.words.push_back(std::move(word));
    }
    return result;
}

std::optional<double> decimalNumber(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    std::size_t integerDigits = 0;
    while (integerDigits < digits.size() && isDigit(digits[integerDigits])) {
        ++integerDigits;
    }
    std::size_t end = integerDigits;
    std::size_t fractionDigits = 0;
    if (end < digits.size() && digits[end] == '.') {
        ++end;
        while (end < digits.size() && isDigit(digits[end])) {
            ++end;
            ++fractionDigits;
        }
    }
    if (end != digits.size() || integerDigits + fractionDigits == 0) {
        return std::nullopt;
    }
    double value = 0;
    const auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                               std::chars_format::fixed);
    if (error != std::errc() || last != digits.data() + digits.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            result += '\\';
        }
        result += c;
    }
    return result + "\"";
}

std::optional<long> countNumber(std::string_view text) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    long value = 0;
    for (char c : text) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace sim::script
