// Reading a desktop script: each line's words become one statement, checked for its form
// (statement names, the words it needs, its options and their values, numbers, targets).
#include <unicode/utf8.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <set>
#include <utility>

#include "DesktopScript/DesktopScript.h"
#include "DesktopScript/DesktopScriptWords.h"

namespace sim::script {
namespace {

// A line that does not have the form its statement needs; caught per line.
struct Malformed {
    std::string message;
};

struct OptionSpec {
    const char* name;
    bool takesValue;  // key=value; otherwise a bare flag word
};

struct Options {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool has(const std::string& name) const { return values.count(name) || flags.count(name); }
    std::optional<std::string> value(const std::string& name) const {
        auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
};

// The words of one statement, taken from the front: its positional words, then its options.
class StatementWords {
public:
    StatementWords(std::vector<Word> words, std::string statement)
        : words_(std::move(words)), statement_(std::move(statement)) {}

    const std::string& statement() const { return statement_; }
    // Statements of two words ("expect hidden") are named by both in messages.
    void extendStatement(const std::string& word) { statement_ += " " + word; }

    // The next positional word; `what` names it in messages ("NAME", "TITLE").
    std::string positional(const char* what, bool mayBeEmpty = false) {
        if (next_ >= words_.size()) {
            throw Malformed{statement_ + ": missing " + what};
        }
        const Word& word = words_[next_];
        if (word.isOption()) {
            throw Malformed{statement_ + ": missing " + what + " before the option " +
                            quoted(word.text)};
        }
        if (word.text.empty() && !mayBeEmpty) {
            throw Malformed{statement_ + ": " + what + " is empty"};
        }
        ++next_;
        return word.text;
    }

    // Every remaining word, at least one, none of them an option.
    std::vector<std::string> remaining(const char* what) {
        std::vector<std::string> result{positional(what)};
        while (next_ < words_.size()) {
            result.push_back(positional(what));
        }
        return result;
    }

    // The next positional word, one of `allowed`.
    std::string keyword(std::initializer_list<const char*> allowed, const char* what) {
        std::string choices;
        for (const char* choice : allowed) {
            choices += (choices.empty() ? "" : "|") + std::string(choice);
        }
        if (next_ >= words_.size()) {
            throw Malformed{statement_ + ": missing " + what + " (" + choices + ")"};
        }
        std::string word = words_[next_].text;
        for (const char* choice : allowed) {
            if (word == choice) {
                ++next_;
                return word;
            }
        }
        throw Malformed{statement_ + ": " + what + " must be " + choices + ", not " + quoted(word)};
    }

    // Every remaining word, as options of `allowed`.
    Options options(std::initializer_list<OptionSpec> allowed) {
        Options result;
        for (; next_ < words_.size(); ++next_) {
            const Word& word = words_[next_];
            const std::string name = word.isOption() ? word.key() : word.text;
            const OptionSpec* option = nullptr;
            for (const OptionSpec& candidate : allowed) {
                if (name == candidate.name) {
                    option = &candidate;
                }
            }
            if (option == nullptr) {
                throw Malformed{unknownOption(word, allowed)};
            }
            if (result.has(name)) {
                throw Malformed{statement_ + ": option " + name + " is given twice"};
            }
            if (option->takesValue && !word.isOption()) {
                throw Malformed{statement_ + ": option " + name + " needs a value (" + name +
                                "=…)"};
            }
            if (!option->takesValue && word.isOption()) {
                throw Malformed{statement_ + ": option " + name + " takes no value"};
            }
            if (option->takesValue) {
                if (word.value().empty()) {
                    throw Malformed{statement_ + ": option " + name + "= has an empty value"};
                }
                result.values[name] = word.value();
            } else {
                result.flags.insert(name);
            }
        }
        return result;
    }

    // No words may follow.
    void end() { options({}); }

private:
    std::string unknownOption(const Word& word, std::initializer_list<OptionSpec> allowed) const {
        if (allowed.size() == 0) {
            return statement_ + ": unexpected word " + quoted(word.text);
        }
        std::string known;
        for (const OptionSpec& option : allowed) {
            known += known.empty() ? "" : ", ";
            known += option.name;
            known += option.takesValue ? "=" : "";
        }
        return statement_ + ": unknown option " + quoted(word.text) + " (it takes " + known + ")";
    }

    std::vector<Word> words_;
    std::size_t next_ = 1;  // words_[0] is the statement word
    std::string statement_;
};

double decimalValue(const std::string& statement, const std::string& what,
                    const std::string& text) {
    const std::optional<double> value = decimalNumber(text);
    if (!value) {
        throw Malformed{statement + ": " + what + " " + quoted(text) + " is not a decimal number"};
    }
    return *value;
}

long countValue(const std::string& statement, const std::string& what, const std::string& text) {
    const std::optional<long> value = countNumber(text);
    if (!value) {
        throw Malformed{statement + ": " + what + " " + quoted(text) +
                        " is not a whole number from 0"};
    }
    return *value;
}

bool onOff(StatementWords& words) {
    return words.keyword({"on", "off"}, "the setting") == "on";
}

bool yesNo(StatementWords& words) {
    return words.keyword({"YES", "NO"}, "the value") == "YES";
}

void requireAbsolutePath(const std::string& statement, const std::string& what,
                         const std::string& path) {
    if (path.empty() || path.front() != '/') {
        throw Malformed{statement + ": " + what + " " + quoted(path) + " is not an absolute path"};
    }
}

ItemPath itemPath(StatementWords& words) {
    const std::string path = words.positional("PATH");
    if (path == "self") {
        return {true, {}};
    }
    requireAbsolutePath(words.statement(), "PATH", path);
    return {false, path};
}

Target target(StatementWords& words) {
    const std::string text = words.positional("TARGET");
    Target result;
    for (const auto& [prefix, kind] :
         {std::pair{"dock:", Target::Kind::DockItem}, std::pair{"window:", Target::Kind::Window},
          std::pair{"control:", Target::Kind::Control},
          std::pair{"menu:", Target::Kind::MenuItem}}) {
        const std::string_view start(prefix);
        if (text.compare(0, start.size(), start) == 0) {
            result.kind = kind;
            result.title = text.substr(start.size());
            if (result.title.empty()) {
                throw Malformed{words.statement() + ": " + quoted(text) + " names no title"};
            }
            return result;
        }
    }
    const std::size_t comma = text.find(',');
    const std::optional<double> x =
        comma == std::string::npos ? std::nullopt : decimalNumber(text.substr(0, comma));
    const std::optional<double> y =
        comma == std::string::npos ? std::nullopt : decimalNumber(text.substr(comma + 1));
    if (!x || !y) {
        throw Malformed{words.statement() + ": target " + quoted(text) +
                        " is not X,Y, dock:TITLE, window:TITLE, control:TITLE or menu:TITLE"};
    }
    result.x = *x;
    result.y = *y;
    return result;
}

void modifiers(const std::string& statement, const Options& options, PointerStatement& pointer) {
    const std::optional<std::string> list = options.value("mods");
    if (!list) {
        return;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list->find(',', start);
        const std::string name = list->substr(start, comma - start);
        const std::optional<ModifierKey> found = modifierNamed(name);
        if (!found) {
            throw Malformed{statement + ": unknown modifier " + quoted(name) + " (" +
                            modifierNames() + ")"};
        }
        pointer.flags |= found->flag;
        pointer.modifiers.push_back(name);
        if (comma == std::string::npos) {
            return;
        }
        start = comma + 1;
    }
}

PointerStatement pointer(StatementWords& words, PointerAction action) {
    PointerStatement result;
    result.action = action;
    result.target = target(words);
    if (action == PointerAction::DoubleClick) {
        words.end();
        return result;
    }
    const bool takesClicks = action == PointerAction::Release || action == PointerAction::Click;
    const Options options =
        action == PointerAction::Move ? words.options({{"mods", true}})
        : takesClicks ? words.options({{"clicks", true}, {"mods", true}, {"button", true}})
                      : words.options({{"mods", true}, {"button", true}});
    if (const auto clicks = options.value("clicks")) {
        result.clicks = countValue(words.statement(), "clicks=", *clicks);
    }
    modifiers(words.statement(), options, result);
    if (const auto button = options.value("button")) {
        static const std::map<std::string, CGMouseButton> kButtons{{"left", kCGMouseButtonLeft},
                                                                   {"right", kCGMouseButtonRight},
                                                                   {"other", kCGMouseButtonCenter}};
        auto found = kButtons.find(*button);
        if (found == kButtons.end()) {
            throw Malformed{words.statement() + ": unknown button " + quoted(*button) +
                            " (left, right, other)"};
        }
        result.button = found->second;
    }
    return result;
}

Action app(StatementWords& words) {
    AppStatement result;
    result.name = words.positional("NAME");
    const Options options = words.options({{"pid", true},
                                           {"bundle", true},
                                           {"path", true},
                                           {"item", true},
                                           {"noitem", false},
                                           {"hidden", false}});
    if (const auto pid = options.value("pid")) {
        const long value = countValue("app", "pid=", *pid);
        if (value == 0) {
            throw Malformed{"app: pid=0 is not a process identifier"};
        }
        result.pid = static_cast<pid_t>(value);
    }
    result.bundleIdentifier = options.value("bundle");
    if (const auto path = options.value("path")) {
        if (*path == "none") {
            result.noBundle = true;
        } else {
            requireAbsolutePath("app", "path=", *path);
            result.bundlePath = *path;
        }
    }
    result.itemTitle = options.value("item");
    result.noItem = options.has("noitem");
    if (result.itemTitle && result.noItem) {
        throw Malformed{"app: item= and noitem exclude each other"};
    }
    result.hidden = options.has("hidden");
    return result;
}

Action dockItem(StatementWords& words) {
    DockItemStatement result;
    result.title = words.positional("TITLE");
    const Options options = words.options({{"subrole", true}, {"url", true}, {"urlobject", false}});
    result.subrole = options.value("subrole").value_or(result.subrole);
    result.url = options.value("url");
    result.urlObject = options.has("urlobject");
    if (result.urlObject && !result.url) {
        throw Malformed{"dockitem: urlobject needs url="};
    }
    return result;
}

Action window(StatementWords& words) {
    WindowStatement result;
    result.app = words.positional("APP");
    result.title = words.positional("TITLE");
    const Options options = words.options({{"x", true}, {"y", true}, {"w", true}, {"h", true}});
    for (const auto& [key, field] :
         {std::pair{"x", &result.x}, std::pair{"y", &result.y}, std::pair{"w", &result.width},
          std::pair{"h", &result.height}}) {
        if (const auto text = options.value(key)) {
            *field = decimalValue("window", std::string(key) + "=", *text);
        }
    }
    if (result.width <= 0 || result.height <= 0) {
        throw Malformed{"window: w= and h= must be greater than 0"};
    }
    return result;
}

// How a statement reads the words after its name into its Action; the words it leaves over
// are refused after it.
using ReadStatement = Action (*)(StatementWords&);

struct StatementForm {
    const char* name;
    ReadStatement read;
};

// The form named `name` in `forms`, or null.
template <std::size_t kCount>
const StatementForm* formNamed(const StatementForm (&forms)[kCount], const std::string& name) {
    for (const StatementForm& form : forms) {
        if (name == form.name) {
            return &form;
        }
    }
    return nullptr;
}

template <AppAction kAction>
Action appActionStatement(StatementWords& words) {
    return AppActionStatement{kAction, words.positional("APP")};
}

template <PointerAction kAction>
Action pointerStatement(StatementWords& words) {
    return pointer(words, kAction);
}

template <SystemAction kAction>
Action systemStatement(StatementWords&) {
    return SystemStatement{kAction};
}

template <bool kHidden>
Action expectHidden(StatementWords& words) {
    return ExpectHidden{words.positional("APP"), kHidden};
}

template <Counted kCounted>
Action expectCount(StatementWords& words) {
    return ExpectCount{kCounted, countValue(words.statement(), "N", words.positional("N"))};
}

template <SessionAction kAction>
Action sessionStatement(StatementWords&) {
    return SessionStatement{kAction};
}

template <DockFixture kWhat>
Action dockFixture(StatementWords&) {
    return DockFixtureStatement{kWhat};
}

template <bool kRunning>
Action expectRunning(StatementWords& words) {
    return ExpectRunning{words.positional("APP"), kRunning};
}

// The words of `expect WHAT ...`, one row for each WHAT.
const StatementForm kExpectations[] = {
    {"hidden", expectHidden<true>},
    {"visible", expectHidden<false>},
    {"active",
     [](StatementWords& words) -> Action {
         const std::string app = words.positional("APP");
         return ExpectActive{app == "none" ? std::nullopt : std::optional(app)};
     }},
    {"hiderequests", expectCount<Counted::HideRequests>},
    {"loginitems", expectCount<Counted::LoginItems>},
    {"taps", expectCount<Counted::Taps>},
    {"settings",
     [](StatementWords& words) -> Action {
         return ExpectSettings{words.keyword({"shown", "hidden"}, "the window's state") == "shown"};
     }},
    {"status",
     [](StatementWords& words) -> Action { return ExpectStatus{words.positional("TEXT", true)}; }},
    {"dockicon",
     [](StatementWords& words) -> Action {
         return ExpectDockIcon{words.keyword({"yes", "no"}, "the answer") == "yes"};
     }},
    {"default",
     [](StatementWords& words) -> Action {
         const std::string key = words.positional("KEY");
         return ExpectDefault{key, yesNo(words)};
     }},
    {"loginitem",
     [](StatementWords& words) -> Action {
         const ItemPath path = itemPath(words);
         const std::string place = words.keyword({"first", "present", "absent"}, "the place");
         return ExpectLoginItem{path, place == "first"     ? ItemPlace::First
                                      : place == "present" ? ItemPlace::Present
                                                           : ItemPlace::Absent};
     }},
    {"opened",
     [](StatementWords& words) -> Action {
         const std::string path = words.positional("PATH");
         if (path != "none") {
             requireAbsolutePath(words.statement(), "PATH", path);
         }
         return ExpectOpened{path == "none" ? std::nullopt : std::optional(path)};
     }},
    {"access", [](StatementWords& words) -> Action { return ExpectAccess{onOff(words)}; }},
    {"menu",
     [](StatementWords& words) -> Action {
         return ExpectMenu{words.keyword({"shown", "hidden"}, "the menu's state") == "shown"};
     }},
    {"control",
     [](StatementWords& words) -> Action {
         const std::string title = words.positional("TITLE");
         return ExpectControl{title, onOff(words)};
     }},
    {"running", expectRunning<true>},
    {"notrunning", expectRunning<false>},
    {"lasthide",
     [](StatementWords& words) -> Action {
         const std::string app = words.positional("APP");
         return ExpectLastHide{app == "none" ? std::nullopt : std::optional(app)};
     }},
    {"dock", [](StatementWords& words) -> Action { return ExpectDock{words.remaining("TITLE")}; }},
    {"frame",
     [](StatementWords& words) -> Action {
         ExpectFrame frame{words.positional("TITLE"), 0, 0, 0, 0};
         for (auto [name, field] : {std::pair{"X", &frame.x}, std::pair{"Y", &frame.y},
                                    std::pair{"W", &frame.width}, std::pair{"H", &frame.height}}) {
             *field = decimalValue("expect frame", name, words.positional(name));
         }
         if (frame.width <= 0 || frame.height <= 0) {
             throw Malformed{"expect frame: W and H must be greater than 0"};
         }
         return frame;
     }},
};

Action expectation(StatementWords& words) {
    const std::string what = words.positional("what to expect");
    words.extendStatement(what);
    const StatementForm* form = formNamed(kExpectations, what);
    if (form == nullptr) {
        throw Malformed{"unknown expectation " + quoted("expect " + what)};
    }
    return form->read(words);
}

Action settings(StatementWords& words) {
    const std::string what = words.keyword({"close", "set", "accessibility"}, "the control");
    words.extendStatement(what);
    if (what == "close") {
        return SystemStatement{SystemAction::SettingsClose};
    }
    if (what == "accessibility") {
        return SystemStatement{SystemAction::SettingsAccessibility};
    }
    const std::string key = words.keyword(
        {"LaunchAutomaticallyOnLogin", "ShowSettingsOnLaunch", "HideDockIcon"}, "KEY");
    return SettingsSetStatement{key, onOff(words)};
}

// Every statement of the language, one row each: the word that names it and how its words are
// read and checked into its Action.
const StatementForm kStatements[] = {
    // The world
    {"app", app},
    {"dockitem", dockItem},
    {"window", window},
    {"activate", appActionStatement<AppAction::Activate>},
    {"hide", appActionStatement<AppAction::Hide>},
    {"unhide", appActionStatement<AppAction::Unhide>},
    {"quitapp", appActionStatement<AppAction::Quit>},
    {"access", [](StatementWords& words) -> Action { return AccessStatement{onOff(words)}; }},
    {"default",
     [](StatementWords& words) -> Action {
         const std::string key = words.positional("KEY");
         return DefaultStatement{key, yesNo(words)};
     }},
    {"loginitem",
     [](StatementWords& words) -> Action {
         LoginItemStatement item{itemPath(words)};
         item.unresolvable = words.options({{"unresolvable", false}}).has("unresolvable");
         return item;
     }},
    {"tapfail", [](StatementWords& words) -> Action { return TapFailStatement{onOff(words)}; }},
    {"wait",
     [](StatementWords& words) -> Action {
         const double seconds = decimalValue("wait", "SECONDS", words.positional("SECONDS"));
         if (seconds < 0) {
             throw Malformed{"wait: the clock cannot go back"};
         }
         return WaitStatement{seconds};
     }},
    // The user's hand
    {"press", pointerStatement<PointerAction::Press>},
    {"release", pointerStatement<PointerAction::Release>},
    {"click", pointerStatement<PointerAction::Click>},
    {"doubleclick", pointerStatement<PointerAction::DoubleClick>},
    {"move", pointerStatement<PointerAction::Move>},
    {"key",
     [](StatementWords& words) -> Action {
         const std::string text = words.positional("CHORD");
         std::string error;
         std::optional<Chord> chord = chordOf(text, &error);
         if (!chord) {
             throw Malformed{"key: " + quoted(text) + ": " + error};
         }
         return KeyStatement{std::move(*chord), text};
     }},
    {"tapdisable",
     [](StatementWords& words) -> Action {
         const std::string reason = words.keyword({"timeout", "userinput"}, "the reason");
         return TapDisableStatement{reason == "timeout" ? kCGEventTapDisabledByTimeout
                                                        : kCGEventTapDisabledByUserInput};
     }},
    // The system
    {"launch", systemStatement<SystemAction::Launch>},
    {"reopen", systemStatement<SystemAction::Reopen>},
    {"quit", systemStatement<SystemAction::Quit>},
    {"settings", settings},
    // Opening files
    {"open", [](StatementWords& words) -> Action { return OpenStatement{itemPath(words)}; }},
    // The user's session and the Dock's own items
    {"logout", sessionStatement<SessionAction::Logout>},
    {"login", sessionStatement<SessionAction::Login>},
    {"finder", dockFixture<DockFixture::Finder>},
    {"trash", dockFixture<DockFixture::Trash>},
    {"keep",
     [](StatementWords& words) -> Action { return KeepStatement{words.positional("APP")}; }},
    // Expectations
    {"expect", expectation},
};

// One statement from the words of a line; the statement word is words[0].
Action statementOf(std::vector<Word> words) {
    const std::string name = words.front().text;
    const StatementForm* form = formNamed(kStatements, name);
    if (form == nullptr) {
        throw Malformed{"unknown statement " + quoted(name)};
    }
    StatementWords rest(std::move(words), name);
    Action action = form->read(rest);
    rest.end();
    return action;
}

// Where the first byte lies that does not belong to well-formed UTF-8: a stray continuation
// byte, a sequence cut short, an overlong form, a surrogate or a code point beyond U+10FFFF
// (ICU's reading of UTF-8, the one the session's strings use).
std::optional<std::size_t> firstByteNotUTF8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t index = 0;
    while (index < length) {
        const std::int32_t start = index;
        UChar32 codePoint = 0;
        U8_NEXT(bytes, index, length, codePoint);
        if (codePoint < 0) {
            return static_cast<std::size_t>(start);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<ScriptError> readStatements(std::string_view text,
                                          const std::function<bool(Statement&&)>& take) {
    int lineNumber = 0;
    // A byte-order mark that some editors put at the start of a file is not a word.
    std::size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (start < text.size()) {
        ++lineNumber;
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() > kMaxLineBytes) {
            return ScriptError{
                lineNumber, "the line is longer than " + std::to_string(kMaxLineBytes) + " bytes"};
        }
        if (line.find('\0') != std::string_view::npos) {
            return ScriptError{lineNumber, "the line holds a NUL character"};
        }
        if (const std::optional<std::size_t> bad = firstByteNotUTF8(line)) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(line[*bad]));
            return ScriptError{lineNumber, std::string("the line is not UTF-8 text (byte ") + byte +
                                               " at byte " + std::to_string(*bad + 1) + ")"};
        }
        LineWords words = wordsOfLine(line);
        if (words.error) {
            return ScriptError{lineNumber, *words.error};
        }
        if (words.words.empty()) {
            continue;
        }
        Statement statement;
        try {
            statement = {lineNumber, statementOf(std::move(words.words))};
        } catch (const Malformed& malformed) {
            return ScriptError{lineNumber, malformed.message};
        }
        if (!take(std::move(statement))) {
            break;
        }
    }
    return std::nullopt;
}

ParsedScript parseDesktopScript(std::string name, std::string_view text) {
    ParsedScript parsed;
    parsed.script.name = std::move(name);
    parsed.error = readStatements(text, [&parsed](Statement&& statement) {
        parsed.script.statements.push_back(std::move(statement));
        return true;
    });
    return parsed;
}

std::string describeError(const std::string& scriptName, const ScriptError& error) {
    if (error.line == 0) {
        return scriptName + ": " + error.message;
    }
    return scriptName + ":" + std::to_string(error.line) + ": " + error.message;
}

}  // namespace sim::script
