// XML property lists, UTF-8. The reader pulls tags and text from the input one at a time and
// builds the values with a stack of its own, so nesting costs no native stack and stops at the
// limit; it refuses anything it would have to change to read (an integer beyond 64 bits, a
// character XML cannot hold, an unknown entity) rather than read a different value. The writer
// writes what the platform's tools write: tab-indented elements under a plist element.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "CoreFoundation/CFPropertyListEncodingInternal.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/CFStringInternal.h"

namespace frameworks {

namespace {

// Why a read stops. The reader gives up at the first fault, from wherever it is in its helpers
// (a number, an escape, an offset table); the throw unwinds to the one catch at the reader's
// entry, which hands the reason out through `error`. Nothing leaves the reader as an exception,
// and what it built so far is held by RetainPtr, so unwinding releases it.
struct Failure {
    std::string reason;
};

bool isSpace(char character) {
    return character == ' ' || character == '\t' || character == '\n' || character == '\r';
}

bool isBlank(std::string_view text) {
    for (char character : text) {
        if (!isSpace(character)) {
            return false;
        }
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lowercase) {
    if (text.size() != lowercase.size()) {
        return false;
    }
    for (std::size_t index = 0; index < text.size(); ++index) {
        const char character = text[index];
        if ((character >= 'A' && character <= 'Z' ? character - 'A' + 'a' : character) !=
            lowercase[index]) {
            return false;
        }
    }
    return true;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char character) {
    if (character >= 'A' && character <= 'Z') {
        return character - 'A';
    }
    if (character >= 'a' && character <= 'z') {
        return character - 'a' + 26;
    }
    if (character >= '0' && character <= '9') {
        return character - '0' + 52;
    }
    return character == '+' ? 62 : character == '/' ? 63 : -1;
}

// --- Reading

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    RetainPtr<CFTypeRef> parse() {
        if (const std::size_t bad = firstInvalidUTF8(text_); bad != std::string_view::npos) {
            position_ = bad;
            failHere("text that is not UTF-8");
        }
        if (const std::size_t nul = text_.find('\0'); nul != std::string_view::npos) {
            position_ = nul;
            failHere("a NUL character");
        }
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
            position_ = 3;
        }
        for (;;) {
            switch (next()) {
                case Event::Text:
                    text(buffer_);
                    break;
                case Event::Start:
                    start(name_, selfClosing_);
                    break;
                case Event::End:
                    end(name_);
                    break;
                case Event::Finished:
                    return finish();
            }
        }
    }

private:
    enum class Event { Text, Start, End, Finished };

    // A value's name inside its container: a key, or an index in an array.
    struct Name {
        RetainPtr<CFStringRef> key;
        std::size_t index = 0;
        bool present = false;
    };

    struct Frame {
        // The container being filled, one of the two; owned by its parent, or by root_.
        NSMutableDictionary* dictionary = nullptr;
        NSMutableArray* array = nullptr;
        std::size_t count = 0;       // values placed so far
        RetainPtr<CFStringRef> key;  // a dictionary's key read, its value not yet
        Name name;
    };

    // --- Messages

    std::string location() const {
        std::string path;
        const auto add = [&path](const Name& name) {
            if (name.present) {
                path =
                    childLocation(path, name.key ? name.key->utf8() : std::to_string(name.index));
            }
        };
        for (const Frame& frame : stack_) {
            add(frame.name);
        }
        add(currentName());
        return path;
    }

    std::string line() const {
        std::size_t count = 1;
        for (std::size_t index = 0; index < position_ && index < text_.size(); ++index) {
            count += text_[index] == '\n' ? 1 : 0;
        }
        return " (line " + std::to_string(count) + ")";
    }

    // Fails with "<what> at <location><rest> (line N)".
    [[noreturn]] void fail(const std::string& what, const std::string& rest = "") const {
        throw Failure{what + " " + describeLocation(location()) + rest + line()};
    }
    [[noreturn]] void failHere(const std::string& what) const {
        throw Failure{"holds " + what + line()};
    }

    // The name of the value about to be read in the innermost container.
    Name currentName() const {
        Name name;
        if (stack_.empty()) {
            return name;
        }
        const Frame& frame = stack_.back();
        if (frame.dictionary) {
            name.key = frame.key;
            name.present = static_cast<bool>(frame.key);
        } else {
            name.index = frame.count;
            name.present = true;
        }
        return name;
    }

    // --- Tags and text

    bool startsWith(std::string_view prefix) const {
        return text_.substr(position_, prefix.size()) == prefix;
    }

    std::size_t find(std::string_view what, const char* unfinished) const {
        const std::size_t found = text_.find(what, position_);
        if (found == std::string_view::npos) {
            failHere(unfinished);
        }
        return found;
    }

    std::string_view readName() {
        const std::size_t start = position_;
        while (position_ < text_.size()) {
            const char character = text_[position_];
            const bool letter = (character >= 'a' && character <= 'z') ||
                                (character >= 'A' && character <= 'Z') || character == '_' ||
                                character == ':' || static_cast<unsigned char>(character) >= 0x80;
            const bool later =
                (character >= '0' && character <= '9') || character == '-' || character == '.';
            if (!letter && !(later && position_ > start)) {
                break;
            }
            ++position_;
        }
        if (position_ == start) {
            failHere("a malformed tag");
        }
        return text_.substr(start, position_ - start);
    }

    void skipSpaces() {
        while (position_ < text_.size() && isSpace(text_[position_])) {
            ++position_;
        }
    }

    // Attributes are read past: no element of a property list is changed by one.
    void skipAttributes() {
        for (;;) {
            skipSpaces();
            if (position_ >= text_.size()) {
                failHere("an unfinished tag");
            }
            const char character = text_[position_];
            if (character == '>' || character == '/') {
                return;
            }
            readName();
            skipSpaces();
            if (position_ >= text_.size() || text_[position_] != '=') {
                failHere("a malformed attribute");
            }
            ++position_;
            skipSpaces();
            const char quote = position_ < text_.size() ? text_[position_] : '\0';
            if (quote != '"' && quote != '\'') {
                failHere("a malformed attribute");
            }
            const std::size_t close = text_.find(quote, position_ + 1);
            if (close == std::string_view::npos) {
                failHere("an unfinished attribute");
            }
            position_ = close + 1;
        }
    }

    // The XML declaration: only UTF-8 (or its ASCII subset) is read.
    void checkDeclaration(std::string_view declaration) const {
        const std::size_t at = declaration.find("encoding");
        if (at == std::string_view::npos) {
            return;
        }
        const std::size_t open = declaration.find_first_of("\"'", at);
        const std::size_t close =
            open == std::string_view::npos ? open : declaration.find(declaration[open], open + 1);
        if (close == std::string_view::npos) {
            failHere("a malformed XML declaration");
        }
        const std::string_view encoding = declaration.substr(open + 1, close - open - 1);
        if (!equalsIgnoringCase(encoding, "utf-8") && !equalsIgnoringCase(encoding, "us-ascii")) {
            failHere("text declared as " + std::string(encoding) + "; only UTF-8 is read");
        }
    }

    void skipDoctype() {
        for (position_ += 2; position_ < text_.size(); ++position_) {
            const char character = text_[position_];
            if (character == '"' || character == '\'') {
                const std::size_t close = text_.find(character, position_ + 1);
                if (close == std::string_view::npos) {
                    break;
                }
                position_ = close;
            } else if (character == '[') {
                failHere("entities of its own (an internal DTD subset), which are not read");
            } else if (character == '>') {
                ++position_;
                return;
            }
        }
        failHere("an unfinished document type declaration");
    }

    // Appends text with its entities and character references replaced and its line ends made
    // line feeds, as an XML reader must.
    void appendText(std::string_view raw) {
        for (std::size_t index = 0; index < raw.size(); ++index) {
            const char character = raw[index];
            if (character == '\r') {
                buffer_ += '\n';
                if (index + 1 < raw.size() && raw[index + 1] == '\n') {
                    ++index;
                }
                continue;
            }
            if (character != '&') {
                buffer_ += character;
                continue;
            }
            const std::size_t semicolon = raw.find(';', index);
            if (semicolon == std::string_view::npos || semicolon - index > 12) {
                fail("an & that starts no entity");
            }
            const std::string_view entity = raw.substr(index + 1, semicolon - index - 1);
            index = semicolon;
            if (entity == "lt") {
                buffer_ += '<';
            } else if (entity == "gt") {
                buffer_ += '>';
            } else if (entity == "amp") {
                buffer_ += '&';
            } else if (entity == "quot") {
                buffer_ += '"';
            } else if (entity == "apos") {
                buffer_ += '\'';
            } else if (entity.size() > 1 && entity[0] == '#') {
                appendUTF8(characterReference(entity.substr(1)), &buffer_);
            } else {
                fail("an unknown entity &" + std::string(entity) + ";");
            }
        }
    }

    std::uint32_t characterReference(std::string_view digits) const {
        const bool hex = digits[0] == 'x';
        if (hex) {
            digits.remove_prefix(1);
        }
        std::uint32_t codePoint = 0;
        const auto [end, problem] =
            std::from_chars(digits.data(), digits.data() + digits.size(), codePoint, hex ? 16 : 10);
        if (problem != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
            fail("a malformed character reference");
        }
        if (codePoint == 0) {
            fail(inLeaf_ == "key" ? "a key" : "a string", " holds a NUL character");
        }
        if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            fail("a reference to a character that does not exist");
        }
        return codePoint;
    }

    Event next() {
        buffer_.clear();
        while (position_ < text_.size()) {
            if (text_[position_] != '<') {
                const std::size_t end = std::min(text_.find('<', position_), text_.size());
                appendText(text_.substr(position_, end - position_));
                position_ = end;
                return Event::Text;
            }
            if (startsWith("<!--")) {
                position_ = find("-->", "an unfinished comment") + 3;
            } else if (startsWith("<![CDATA[")) {
                const std::size_t start = position_ + 9;
                const std::size_t end = find("]]>", "an unfinished CDATA section");
                const std::string_view raw = text_.substr(start, end - start);
                for (std::size_t index = 0; index < raw.size(); ++index) {
                    if (raw[index] == '\r') {
                        buffer_ += '\n';
                        index += index + 1 < raw.size() && raw[index + 1] == '\n' ? 1 : 0;
                    } else {
                        buffer_ += raw[index];
                    }
                }
                position_ = end + 3;
                return Event::Text;
            } else if (startsWith("<?")) {
                const std::size_t end = find("?>", "an unfinished processing instruction");
                if (startsWith("<?xml ")) {
                    checkDeclaration(text_.substr(position_, end - position_));
                }
                position_ = end + 2;
            } else if (startsWith("<!DOCTYPE")) {
                skipDoctype();
            } else if (startsWith("<!")) {
                failHere("markup that a property list does not hold");
            } else if (startsWith("</")) {
                position_ += 2;
                name_ = readName();
                skipSpaces();
                if (position_ >= text_.size() || text_[position_] != '>') {
                    failHere("a malformed end tag");
                }
                ++position_;
                return Event::End;
            } else {
                ++position_;
                name_ = readName();
                skipAttributes();
                selfClosing_ = text_[position_] == '/';
                position_ += selfClosing_ ? 1 : 0;
                if (position_ >= text_.size() || text_[position_] != '>') {
                    failHere("a malformed tag");
                }
                ++position_;
                return Event::Start;
            }
        }
        return Event::Finished;
    }

    // --- Values

    void countValue() {
        if (++values_ > kPropertyListMaxValues) {
            throw Failure{"more than " + std::to_string(kPropertyListMaxValues) + " values" +
                          line()};
        }
    }

    void text(const std::string& content) {
        if (!inLeaf_.empty()) {
            leafText_ += content;
        } else if (!isBlank(content)) {
            fail("text outside any value");
        }
    }

    static bool isLeaf(std::string_view name) {
        return name == "key" || name == "string" || name == "integer" || name == "real" ||
               name == "date" || name == "data" || name == "true" || name == "false";
    }

    void start(std::string_view name, bool selfClosing) {
        if (!inLeaf_.empty()) {
            fail("an element <" + std::string(name) + "> inside <" + inLeaf_ + ">");
        }
        if (name == "plist") {
            if (plistOpened_ || root_) {
                fail("a <plist> element inside the property list");
            }
            plistOpened_ = true;
            plistClosed_ = selfClosing;
            return;
        }
        if ((root_ && stack_.empty()) || plistClosed_) {
            fail("more than one value at the top");
        }
        const bool inDictionary = !stack_.empty() && stack_.back().dictionary;
        if (name == "key") {
            if (!inDictionary) {
                fail("a key outside a dictionary");
            }
            if (stack_.back().key) {
                fail("a key", " that follows a key");
            }
        } else if (inDictionary && !stack_.back().key) {
            fail("a value without a key in a dictionary");
        }
        if (name == "dict" || name == "array") {
            countValue();
            if (stack_.size() > kPropertyListMaxNesting) {
                fail("nested more than " + std::to_string(kPropertyListMaxNesting) +
                     " levels deep");
            }
            Frame frame;
            RetainPtr<CFTypeRef> made;
            if (name == "dict") {
                RetainPtr<NSMutableDictionary*> container = adoptCF(NSMutableDictionary::create());
                frame.dictionary = container.get();
                made = RetainPtr<CFTypeRef>(std::move(container));
            } else {
                RetainPtr<NSMutableArray*> container = adoptCF(NSMutableArray::create());
                frame.array = container.get();
                made = RetainPtr<CFTypeRef>(std::move(container));
            }
            if (selfClosing) {
                place(made);
                return;
            }
            frame.name = currentName();
            place(made);
            stack_.push_back(std::move(frame));
            return;
        }
        if (!isLeaf(name)) {
            fail("an element <" + std::string(name) + ">", ", which a property list does not hold");
        }
        inLeaf_ = std::string(name);
        leafText_.clear();
        if (selfClosing) {
            finishLeaf();
        }
    }

    void end(std::string_view name) {
        if (!inLeaf_.empty()) {
            if (name != inLeaf_) {
                fail("</" + std::string(name) + "> where </" + inLeaf_ + "> belongs");
            }
            finishLeaf();
            return;
        }
        if (!stack_.empty()) {
            const Frame& frame = stack_.back();
            if (name != (frame.dictionary ? "dict" : "array")) {
                fail("</" + std::string(name) + "> where </" +
                     (frame.dictionary ? "dict" : "array") + "> belongs");
            }
            if (frame.key) {
                fail("a key", " without a value");
            }
            stack_.pop_back();
            return;
        }
        if (name == "plist" && plistOpened_ && !plistClosed_) {
            plistClosed_ = true;
            return;
        }
        fail("</" + std::string(name) + ">, which closes nothing");
    }

    RetainPtr<CFTypeRef> finish() {
        if (!inLeaf_.empty() || !stack_.empty() || (plistOpened_ && !plistClosed_)) {
            fail("the end of the text inside an element");
        }
        if (!root_) {
            throw Failure{"no value"};
        }
        return std::move(root_);
    }

    // Puts a finished value (or a container about to be filled) in its place.
    void place(const RetainPtr<CFTypeRef>& value) {
        if (stack_.empty()) {
            root_ = value;
            return;
        }
        Frame& frame = stack_.back();
        if (frame.dictionary) {
            frame.dictionary->setObject(value.get(), frame.key.get());
            frame.key.clear();
        } else {
            frame.array->addObject(value.get());
        }
        ++frame.count;
    }

    void finishLeaf() {
        const std::string kind = std::move(inLeaf_);
        inLeaf_.clear();
        countValue();
        if (kind == "key") {
            stack_.back().key = adoptCF<CFStringRef>(NSString::createWithUTF8(leafText_));
            return;
        }
        RetainPtr<CFTypeRef> value;
        if (kind == "string") {
            value = adoptCF<CFTypeRef>(NSString::createWithUTF8(leafText_));
        } else if (kind == "integer") {
            value = integer(trimmed(leafText_));
        } else if (kind == "real") {
            value = real(trimmed(leafText_));
        } else if (kind == "date") {
            value = date(trimmed(leafText_));
        } else if (kind == "data") {
            value = data(leafText_);
        } else {
            if (!isBlank(leafText_)) {
                fail("text inside <" + kind + ">");
            }
            value = retainPtr<CFTypeRef>(kind == "true" ? kCFBooleanTrue : kCFBooleanFalse);
        }
        place(value);
    }

    // Decimal or 0x-hexadecimal, with an optional sign, from -2^63 to 2^64 - 1.
    RetainPtr<CFTypeRef> integer(std::string_view text) const {
        const std::string shown = "\"" + std::string(text.substr(0, 40)) + "\"";
        const bool negative = !text.empty() && text[0] == '-';
        if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
            text.remove_prefix(1);
        }
        int base = 10;
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            base = 16;
            text.remove_prefix(2);
        }
        std::uint64_t magnitude = 0;
        const auto [end, problem] =
            std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
        if (text.empty() || end != text.data() + text.size() ||
            (problem != std::errc() && problem != std::errc::result_out_of_range)) {
            fail("an integer " + shown, " that is not a number");
        }
        constexpr std::uint64_t kLowest = std::uint64_t{1} << 63;
        if (problem == std::errc::result_out_of_range || (negative && magnitude > kLowest)) {
            fail("an integer " + shown, " that does not fit in 64 bits");
        }
        if (negative) {
            return adoptCF<CFTypeRef>(
                NSNumber::createWithLongLong(static_cast<long long>(0 - magnitude)));
        }
        return adoptCF<CFTypeRef>(NSNumber::createWithUnsignedLongLong(magnitude));
    }

    RetainPtr<CFTypeRef> real(std::string_view text) const {
        const std::string shown = "\"" + std::string(text.substr(0, 40)) + "\"";
        double value = 0;
        if (equalsIgnoringCase(text, "nan")) {
            value = std::nan("");
        } else if (equalsIgnoringCase(text, "+infinity") || equalsIgnoringCase(text, "infinity") ||
                   equalsIgnoringCase(text, "inf") || equalsIgnoringCase(text, "+inf")) {
            value = HUGE_VAL;
        } else if (equalsIgnoringCase(text, "-infinity") || equalsIgnoringCase(text, "-inf")) {
            value = -HUGE_VAL;
        } else {
            if (text.size() > 1 && text[0] == '+' && text[1] != '-') {
                text.remove_prefix(1);
            }
            const auto [end, problem] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            if (text.empty() || end != text.data() + text.size() ||
                (problem != std::errc() && problem != std::errc::result_out_of_range)) {
                fail("a real " + shown, " that is not a number");
            }
            if (problem == std::errc::result_out_of_range) {
                fail("a real " + shown, " beyond what a double holds");
            }
        }
        return adoptCF<CFTypeRef>(NSNumber::createWithDouble(value));
    }

    // YYYY-MM-DDTHH:MM:SS[.fraction]Z, in UTC.
    RetainPtr<CFTypeRef> date(std::string_view text) const {
        const auto number = [&](std::size_t at, std::size_t digits, int* out) {
            if (text.size() < at + digits) {
                return false;
            }
            const auto [end, problem] =
                std::from_chars(text.data() + at, text.data() + at + digits, *out);
            return problem == std::errc() && end == text.data() + at + digits;
        };
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        const bool shaped = text.size() >= 20 && text[4] == '-' && text[7] == '-' &&
                            text[10] == 'T' && text[13] == ':' && text[16] == ':' &&
                            text.back() == 'Z';
        if (!shaped || !number(0, 4, &year) || !number(5, 2, &month) || !number(8, 2, &day) ||
            !number(11, 2, &hour) || !number(14, 2, &minute) || !number(17, 2, &second)) {
            fail("a date \"" + std::string(text.substr(0, 40)) + "\"",
                 " that is not YYYY-MM-DDTHH:MM:SSZ");
        }
        double fraction = 0;
        if (text.size() > 20) {
            const std::string_view digits = text.substr(19, text.size() - 20);
            const auto [end, problem] =
                std::from_chars(digits.data(), digits.data() + digits.size(), fraction);
            if (digits.size() < 2 || digits[0] != '.' || problem != std::errc() ||
                end != digits.data() + digits.size()) {
                fail("a date \"" + std::string(text.substr(0, 40)) + "\"",
                     " with a malformed fraction of a second");
            }
        }
        const CFGregorianDate fields{year,
                                     static_cast<SInt8>(month),
                                     static_cast<SInt8>(day),
                                     static_cast<SInt8>(hour),
                                     static_cast<SInt8>(minute),
                                     second + fraction};
        const CFAbsoluteTime at = CFGregorianDateGetAbsoluteTime(fields, nullptr);
        const CFGregorianDate back = CFAbsoluteTimeGetGregorianDate(at, nullptr);
        // A day or time beyond its range (February 30th, 24:00) would be another date.
        if (month < 1 || month > 12 || back.month != month || back.day != day ||
            back.hour != hour || back.minute != minute) {
            fail("a date \"" + std::string(text.substr(0, 40)) + "\"", " that does not exist");
        }
        return adoptCF<CFTypeRef>(NSDate::createWithTimeIntervalSinceReferenceDate(at));
    }

    RetainPtr<CFTypeRef> data(std::string_view text) const {
        std::string bytes;
        std::uint32_t bits = 0;
        int count = 0;
        int padding = 0;
        for (char character : text) {
            if (isSpace(character)) {
                continue;
            }
            if (character == '=') {
                ++padding;
                continue;
            }
            const int value = base64Value(character);
            if (value < 0 || padding > 0) {
                fail("data", " that is not base64");
            }
            bits = (bits << 6) | static_cast<std::uint32_t>(value);
            if (++count == 4) {
                bytes += static_cast<char>(bits >> 16);
                bytes += static_cast<char>(bits >> 8);
                bytes += static_cast<char>(bits);
                bits = 0;
                count = 0;
            }
        }
        if (count == 1 || padding > 2) {
            fail("data", " that is not base64");
        }
        if (count == 2) {
            bytes += static_cast<char>(bits >> 4);
        } else if (count == 3) {
            bytes += static_cast<char>(bits >> 10);
            bytes += static_cast<char>(bits >> 2);
        }
        return adoptCF<CFTypeRef>(NSData::create(bytes.data(), bytes.size()));
    }

    std::string_view text_;
    std::size_t position_ = 0;
    // The event just read: a tag's name, whether it closes itself, or the text.
    std::string_view name_;
    bool selfClosing_ = false;
    std::string buffer_;

    std::vector<Frame> stack_;
    RetainPtr<CFTypeRef> root_;
    bool plistOpened_ = false;
    bool plistClosed_ = false;
    std::string inLeaf_;  // the leaf element open now, or empty
    std::string leafText_;
    std::size_t values_ = 0;
};

// --- Writing

class Writer {
public:
    std::string write(CFTypeRef root) {
        text_ =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n";
        value(root, 0);
        text_ += "</plist>\n";
        return std::move(text_);
    }

private:
    void indent(int depth) { text_.append(static_cast<std::size_t>(depth), '\t'); }

    void escaped(const std::string& text) {
        for (char character : text) {
            switch (character) {
                case '&':
                    text_ += "&amp;";
                    break;
                case '<':
                    text_ += "&lt;";
                    break;
                case '>':
                    text_ += "&gt;";
                    break;
                default:
                    text_ += character;
            }
        }
    }

    void element(const char* name, const std::string& content, int depth) {
        indent(depth);
        text_ += std::string("<") + name + ">";
        escaped(content);
        text_ += std::string("</") + name + ">\n";
    }

    static std::string realText(double value) {
        if (std::isnan(value)) {
            return "nan";
        }
        if (std::isinf(value)) {
            return value > 0 ? "+infinity" : "-infinity";
        }
        // The shortest text that reads back as the same double.
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        return std::string(buffer, result.ptr);
    }

    static std::string dateText(double seconds) {
        const CFGregorianDate date = CFAbsoluteTimeGetGregorianDate(seconds, nullptr);
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", date.year,
                      date.month, date.day, date.hour, date.minute, static_cast<int>(date.second));
        return buffer;
    }

    void data(std::string_view bytes, int depth) {
        indent(depth);
        text_ += "<data>\n";
        std::string line;
        for (std::size_t index = 0; index < bytes.size(); index += 3) {
            const std::size_t left = bytes.size() - index;
            std::uint32_t bits =
                static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[index])) << 16;
            if (left > 1) {
                bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[index + 1]))
                        << 8;
            }
            if (left > 2) {
                bits |= static_cast<unsigned char>(bytes[index + 2]);
            }
            line += kBase64[(bits >> 18) & 0x3F];
            line += kBase64[(bits >> 12) & 0x3F];
            line += left > 1 ? kBase64[(bits >> 6) & 0x3F] : '=';
            line += left > 2 ? kBase64[bits & 0x3F] : '=';
            if (line.size() >= 76 || index + 3 >= bytes.size()) {
                indent(depth);
                text_ += line + "\n";
                line.clear();
            }
        }
        indent(depth);
        text_ += "</data>\n";
    }

    // A checked property list nests at most kPropertyListMaxNesting levels, so this recursion
    // is bounded.
    void value(CFTypeRef object, int depth) {
        switch (CFGetTypeID(object)) {
            case kCFBooleanTypeID:
                indent(depth);
                text_ +=
                    static_cast<const NSNumber*>(object)->boolValue() ? "<true/>\n" : "<false/>\n";
                return;
            case kCFNumberTypeID: {
                const auto* number = static_cast<const NSNumber*>(object);
                if (number->isReal()) {
                    element("real", realText(number->doubleValue()), depth);
                } else if (number->isUnsignedBeyondLongLong()) {
                    element("integer", std::to_string(number->unsignedLongLongValue()), depth);
                } else {
                    element("integer", std::to_string(number->longLongValue()), depth);
                }
                return;
            }
            case kCFStringTypeID:
                element("string", static_cast<const NSString*>(object)->utf8(), depth);
                return;
            case kCFDateTypeID:
                element(
                    "date",
                    dateText(static_cast<const NSDate*>(object)->timeIntervalSinceReferenceDate()),
                    depth);
                return;
            case kCFDataTypeID:
                data(static_cast<const NSData*>(object)->view(), depth);
                return;
            case kCFArrayTypeID: {
                const auto* array = static_cast<const NSArray*>(object);
                indent(depth);
                if (array->count() == 0) {
                    text_ += "<array/>\n";
                    return;
                }
                text_ += "<array>\n";
                for (const NSObject* item : *array) {
                    value(item, depth + 1);
                }
                indent(depth);
                text_ += "</array>\n";
                return;
            }
            case kCFDictionaryTypeID: {
                const auto* dictionary = static_cast<const NSDictionary*>(object);
                indent(depth);
                if (dictionary->count() == 0) {
                    text_ += "<dict/>\n";
                    return;
                }
                text_ += "<dict>\n";
                for (const auto& [key, item] : *dictionary) {
                    element("key", static_cast<const NSString*>(key)->utf8(), depth + 1);
                    value(item, depth + 1);
                }
                indent(depth);
                text_ += "</dict>\n";
                return;
            }
            default:
                return;  // checked before: nothing else reaches here
        }
    }

    std::string text_;
};

}  // namespace

RetainPtr<CFTypeRef> readXMLPropertyList(std::string_view text, std::string* error) {
    try {
        return Parser(text).parse();
    } catch (const Failure& failure) {
        *error = failure.reason;
        return nullptr;
    }
}

std::string xmlPropertyList(CFTypeRef root) {
    return Writer().write(root);
}

}  // namespace frameworks
