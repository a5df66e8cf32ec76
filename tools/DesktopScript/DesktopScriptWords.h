// The words of a desktop-script line: blanks separate words, `#` starts a comment, double
// quotes hold blanks and `#` (with \" and \\ inside them), and `key=value` words are options.
// Also the number forms the scripts use.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim::script {

struct Word {
    std::string text;  // quotes removed, escapes resolved
    // Where an option's key ends: the first `=` written outside quotes, after a bare key of
    // letters. Unset for a plain word.
    std::optional<std::size_t> equalsAt;
    bool quoted = false;  // some part of the word was written in quotes

    bool isOption() const { return equalsAt.has_value(); }
    std::string key() const { return text.substr(0, *equalsAt); }
    std::string value() const { return text.substr(*equalsAt + 1); }
};

struct LineWords {
    std::vector<Word> words;
    std::optional<std::string> error;  // why the line cannot be split into words
};

LineWords wordsOfLine(std::string_view line);

// A decimal number with an optional sign and fraction: 12, -3.5, +0.25, .5, 7.
// No exponent, no hexadecimal, no infinity.
std::optional<double> decimalNumber(std::string_view text);
// A count: decimal digits only, at most 2^31 - 1.
std::optional<long> countNumber(std::string_view text);

// The text in double quotes as a script writes it (\" and \\ inside), so that a message shows
// exactly what to write and can be copied into a script.
std::string quoted(const std::string& text);

}  // namespace sim::script
