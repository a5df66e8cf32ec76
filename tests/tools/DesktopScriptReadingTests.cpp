// Reading desktop scripts: words, quotes and comments, numbers, each statement's form and
// defaults, the messages for malformed lines, and the whole-script checks of names,
// process identifiers and the system's launch.
#include <gtest/gtest.h>

#include <string>

#include "DesktopScript/DesktopScript.h"
#include "DesktopScript/DesktopScriptValidator.h"
#include "DesktopScript/DesktopScriptWords.h"

namespace {

using namespace sim::script;

std::vector<std::string> textsOf(const LineWords& line) {
    std::vector<std::string> texts;
    for (const Word& word : line.words) {
        texts.push_back(word.text);
    }
    return texts;
}

// The one statement of a one-line script.
template <typename Kind>
Kind only(const std::string& line) {
    const ParsedScript parsed = parseDesktopScript("t.desk", line);
    EXPECT_FALSE(parsed.error) << (parsed.error ? parsed.error->message : "");
    EXPECT_EQ(parsed.script.statements.size(), 1u);
    if (parsed.error || parsed.script.statements.size() != 1) {
        return Kind{};
    }
    const Kind* statement = std::get_if<Kind>(&parsed.script.statements.front().action);
    EXPECT_NE(statement, nullptr) << "another statement kind for: " << line;
    return statement ? *statement : Kind{};
}

// "LINE: message" of the first malformed line, or "" when the script reads.
std::string errorOf(const std::string& text) {
    const ParsedScript parsed = parseDesktopScript("t.desk", text);
    return parsed.error ? describeError("t.desk", *parsed.error) : "";
}

// The first error of a script that reads, checked whole.
std::string invalidityOf(const std::string& text) {
    const ParsedScript parsed = parseDesktopScript("t.desk", text);
    EXPECT_FALSE(parsed.error) << (parsed.error ? parsed.error->message : "");
    const auto error = validateDesktopScript(parsed.script, "Quenfold");
    return error ? describeError("t.desk", *error) : "";
}

// --- Words

// Blanks separate words and a hash starts a comment; quotes hold blanks, hashes and escaped
// quotes and backslashes; option values may be quoted and hold equals signs, but a quoted key
// makes a plain word.
TEST(DesktopScriptWords, BlanksQuotesCommentsAndOptions) {
    EXPECT_EQ(textsOf(wordsOfLine("  app\tSafari   hidden # the browser")),
              (std::vector<std::string>{"app", "Safari", "hidden"}));
    EXPECT_EQ(textsOf(wordsOfLine("app Safari#hidden")),
              (std::vector<std::string>{"app", "Safari"}));
    EXPECT_TRUE(wordsOfLine("   # only a comment").words.empty());
    const LineWords quoted = wordsOfLine(R"(app "Google Chrome #2" "say \"hi\" \\ back")");
    ASSERT_FALSE(quoted.error);
    EXPECT_EQ(textsOf(quoted),
              (std::vector<std::string>{"app", "Google Chrome #2", R"(say "hi" \ back)"}));
    const LineWords line =
        wordsOfLine(R"(item="Google Chrome" "a=b" "x"=y =z url="http://a/?q=1")");
    ASSERT_EQ(line.words.size(), 5u);
    ASSERT_TRUE(line.words[0].isOption());
    EXPECT_EQ(line.words[0].key(), "item");
    EXPECT_EQ(line.words[0].value(), "Google Chrome");
    EXPECT_FALSE(line.words[1].isOption());
    EXPECT_FALSE(line.words[2].isOption());
    EXPECT_FALSE(line.words[3].isOption());
    EXPECT_EQ(line.words[4].key(), "url");
    EXPECT_EQ(line.words[4].value(), "http://a/?q=1");
}

// --- Numbers

TEST(DesktopScriptNumbers, DecimalsMayHaveASignAndAFractionButNoExponent) {
    EXPECT_EQ(decimalNumber("12"), 12.0);
    EXPECT_EQ(decimalNumber("-3.5"), -3.5);
    EXPECT_EQ(decimalNumber("+0.25"), 0.25);
    EXPECT_EQ(decimalNumber(".5"), 0.5);
    EXPECT_EQ(decimalNumber("7."), 7.0);
    for (const char* text :
         {"", "-", "+.", ".", "1e3", "0x10", "inf", "nan", "1.2.3", "1,5", " 1", "--1", "12a"}) {
        EXPECT_FALSE(decimalNumber(text)) << text;
    }
}

// --- Statements and their defaults

TEST(DesktopScriptStatements, AppTakesItsOptions) {
    // What the session makes of a plain app and of path=none and noitem: DesktopScriptRunTests.cpp.
    const auto full = only<AppStatement>(
        R"(app "Google Chrome" pid=777 bundle=com.google.Chrome path="/Apps/G C.app" item=Chrome hidden)");
    EXPECT_EQ(full.name, "Google Chrome");
    EXPECT_EQ(full.pid, 777);
    EXPECT_EQ(full.bundleIdentifier, "com.google.Chrome");
    EXPECT_EQ(full.bundlePath, "/Apps/G C.app");
    EXPECT_EQ(full.itemTitle, "Chrome");
    EXPECT_TRUE(full.hidden);
}

TEST(DesktopScriptStatements, PointerStatementsTakeATargetAClickStateAndModifiers) {
    const auto point = only<PointerStatement>("press -3.5,+700");
    EXPECT_EQ(point.target.kind, Target::Kind::Point);
    EXPECT_EQ(point.target.x, -3.5);
    EXPECT_EQ(point.target.y, 700);
    const auto item = only<PointerStatement>(R"(click "dock:Google Chrome")");
    EXPECT_EQ(item.target.kind, Target::Kind::DockItem);
    EXPECT_EQ(item.target.title, "Google Chrome");
    const auto window = only<PointerStatement>(R"(release window:"My Doc")");
    EXPECT_EQ(window.target.kind, Target::Kind::Window);
    EXPECT_EQ(window.target.title, "My Doc");
    const auto control = only<PointerStatement>(R"(click "control:Enable access")");
    EXPECT_EQ(control.target.kind, Target::Kind::Control);
    EXPECT_EQ(control.target.title, "Enable access");
    // The title keeps everything after the first colon.
    EXPECT_EQ(only<PointerStatement>("click dock:a:b").target.title, "a:b");
    // A release takes its press's click state unless given one; modifiers are held.
    const auto plain = only<PointerStatement>("release 10,10");
    EXPECT_FALSE(plain.clicks);
    EXPECT_EQ(plain.flags, 0u);
    const auto held = only<PointerStatement>("click 10,10 clicks=3 mods=command,shift,caps");
    EXPECT_EQ(held.action, PointerAction::Click);
    EXPECT_EQ(held.clicks, 3);
    EXPECT_EQ(held.flags,
              kCGEventFlagMaskCommand | kCGEventFlagMaskShift | kCGEventFlagMaskAlphaShift);
    EXPECT_EQ(only<PointerStatement>("press 1,1 mods=control,option,fn").flags,
              kCGEventFlagMaskControl | kCGEventFlagMaskAlternate | kCGEventFlagMaskSecondaryFn);
}

// --- Malformed lines

// Each malformed line is reported with the file, the line and what is wrong. Keywords are
// case-sensitive.
TEST(DesktopScriptMalformedLines, ReportTheFileTheLineAndWhatIsWrong) {
    const std::pair<std::string, std::string> cases[] = {
        {"app Safari\nfly away\n", "2: unknown statement \"fly\""},
        {"expect purple Safari", "1: unknown expectation \"expect purple\""},
        {"app Safari colour=red",
         "1: app: unknown option \"colour=red\" (it takes pid=, bundle=, path=, item=, noitem, "
         "hidden)"},
        {"activate Safari now", "1: activate: unexpected word \"now\""},
        {"app", "1: app: missing NAME"},
        {"app pid=3", "1: app: missing NAME before the option \"pid=3\""},
        {"access maybe", "1: access: the setting must be on|off, not \"maybe\""},
        {R"(app "Safari)", "1: a quoted word is not closed"},
        {R"(app "ends in backslash\)", "1: a backslash in quotes must be followed by \" or \\"},
        {R"(app "C:\temp")", "1: a backslash in quotes must be followed by \" or \\"},
        {"App Safari", "1: unknown statement \"App\""},
        {"default HideDockIcon yes", "1: default: the value must be YES|NO, not \"yes\""},
        {"app Safari hidden=yes", "1: app: option hidden takes no value"},
        {"app Safari pid", "1: app: option pid needs a value (pid=…)"},
        {"app Safari pid=1 pid=2", "1: app: option pid is given twice"},
        {"app Safari bundle=", "1: app: option bundle= has an empty value"},
        {"app Safari item=S noitem", "1: app: item= and noitem exclude each other"},
        {"dockitem Site urlobject", "1: dockitem: urlobject needs url="},
        {"click 1,1 mods=command,hyper",
         "1: click: unknown modifier \"hyper\" (control, command, shift, option, fn, caps)"},
        {"logout now\n", "1: logout: unexpected word \"now\""},
        {"keep\n", "1: keep: missing APP"},
        {"doubleclick 1,1 clicks=2", "1: doubleclick: unexpected word \"clicks=2\""},
        {"app Safari pid=-4", "1: app: pid= \"-4\" is not a whole number from 0"},
        {"app Safari pid=0", "1: app: pid=0 is not a process identifier"},
        {"wait 1e3", "1: wait: SECONDS \"1e3\" is not a decimal number"},
        {"wait -1", "1: wait: the clock cannot go back"},
        {"window Safari Doc w=0", "1: window: w= and h= must be greater than 0"},
        {"click 10;20",
         "1: click: target \"10;20\" is not X,Y, dock:TITLE, window:TITLE, control:TITLE or "
         "menu:TITLE"},
        {"click dock:", "1: click: \"dock:\" names no title"},
        {"expect taps many", "1: expect taps: N \"many\" is not a whole number from 0"},
        {"loginitem Applications/X.app",
         "1: loginitem: PATH \"Applications/X.app\" is not an absolute path"},
        {"app Safari path=Safari.app", "1: app: path= \"Safari.app\" is not an absolute path"},
        {"settings set ShowDockIcon on",
         "1: settings set: KEY must be "
         "LaunchAutomaticallyOnLogin|ShowSettingsOnLaunch|HideDockIcon, not \"ShowDockIcon\""},
    };
    for (const auto& [script, message] : cases) {
        EXPECT_EQ(errorOf(script), "t.desk:" + message);
    }
}

// Names are compared byte for byte: text that is not UTF-8 would be turned into U+FFFD on its
// way into the session, and two different names would become one.
TEST(DesktopScriptMalformedLines, TextMustBeUTF8) {
    EXPECT_EQ(errorOf("app Safari\napp \xFF\n"),
              "t.desk:2: the line is not UTF-8 text (byte 0xFF at byte 5)");
    for (const char* bytes : {"\x80", "\xC0\xAF", "\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                              "\xF8\x88\x80\x80\x80", "\xC3("}) {
        EXPECT_NE(errorOf(std::string("app \"A") + bytes + "\""), "")
            << "accepted: " << testing::PrintToString(std::string(bytes));
    }
    // Two, three and four bytes, up to the last code point; a byte-order mark only at the start.
    EXPECT_EQ(errorOf("app Caf\xC3\xA9 item=\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"), "");
    EXPECT_EQ(errorOf("\xEF\xBB\xBF"
                      "app Safari"),
              "");
}

// A line longer than any statement needs is refused before it is split into words.
TEST(DesktopScriptMalformedLines, ALineHasABoundedLength) {
    const std::string longWord(kMaxLineBytes, 'a');
    EXPECT_EQ(errorOf("app Safari\napp " + longWord),
              "t.desk:2: the line is longer than 65536 bytes");
    EXPECT_EQ(errorOf("app " + longWord.substr(4)), "") << "a line of the longest length reads";
}

// --- The whole script

// The whole script is checked before it runs: a name must run at the line that uses it, and
// run once; process identifiers must not collide; the system launches while not running and
// acts only while it runs; the user's session and the kept items decide what may run.
TEST(DesktopScriptWholeScript, NamesProcessIdentifiersLaunchesAndSessionsAreChecked) {
    const std::pair<std::string, std::string> cases[] = {
        {"hide Safari\napp Safari\n", "1: no application named \"Safari\" is running here"},
        {"app Safari\nquitapp Safari\nexpect hidden Safari\n",
         "3: no application named \"Safari\" is running here"},
        {"app Safari\nexpect active safari\n",
         "2: no application named \"safari\" is running here"},
        {"quitapp Dock\nhide Dock\n", "2: no application named \"Dock\" is running here"},
        {"app Safari\nwindow Safari Doc\nhide Dock\nexpect visible Quenfold\n", ""},
        {"app Safari\napp Safari\n", "2: an application named \"Safari\" is already running"},
        {"app Dock\n", "1: an application named \"Dock\" is already running"},
        {"app Safari\nquitapp Safari\napp Safari\n", ""},
        // What `open` and the accessibility button launch runs afterwards.
        {"open \"/Applications/System Preferences.app\"\nquitapp \"System Preferences\"\nopen "
         "/Applications/TextEdit.app\nhide TextEdit\nlaunch\nsettings accessibility\nexpect "
         "visible \"System Preferences\"\n",
         ""},
        {"open /Users/someone/notes.txt\n",
         "1: open: /Users/someone/notes.txt is neither an application bundle nor a preference "
         "pane"},
        {"app A\napp B pid=501\n", "2: pid 501 is taken by A"},
        {"app A pid=100\n", "1: pid 100 is taken by Dock"},
        {"app A pid=400\n", "1: pid 400 is taken by Quenfold"},
        // Given pids are passed over by the ones the session hands out: B gets 501, C 503.
        {"app A pid=502\napp B\napp C\napp D pid=503\n", "4: pid 503 is taken by C"},
        // A pid is free again once its application has quit.
        {"app A\nquitapp A\napp B pid=501\n", ""},
        {"launch\nlaunch\n", "2: launch: the system is running already (quit it first)"},
        {"reopen\n", "1: reopen: the system is not launched yet (no launch before this line)"},
        {"settings set HideDockIcon on\nlaunch\n",
         "1: settings set: the system is not launched yet (no launch before this line)"},
        {"settings accessibility\n",
         "1: settings accessibility: the system is not launched yet (no launch before this line)"},
        {"launch\nquit\nsettings close\n", "3: settings close: the system has quit"},
        // A new process with the next free pid: 501 is taken by it.
        {"launch\nquit\nlaunch\nquitapp Quenfold\nlaunch\nreopen\n", ""},
        {"launch\nquit\nlaunch\napp A pid=501\n", "4: pid 501 is taken by Quenfold"},
        {"activate Quenfold\n", "1: Quenfold is not launched yet (no launch before this line)"},
        {"launch\nquitapp Quenfold\nreopen\n", "3: reopen: the system has quit"},
        {"expect taps 0\nlaunch\nreopen\nsettings close\nquit\nexpect taps 0\n", ""},
        // The system's process leaves the desktop when it quits, and its pid is free again.
        {"launch\nquit\nexpect visible Quenfold\n",
         "3: no application named \"Quenfold\" is running here"},
        {"launch\nquitapp Quenfold\napp Other pid=400\n", ""},
        {"logout\nlogin\nlogin\n", "3: login: the user is logged in (no logout before this line)"},
        {"logout\nlogout\n", "2: logout: the user is logged out (no login before this line)"},
        {"logout\napp A\n", "2: app: the user is logged out (no login before this line)"},
        {"launch\nlogout\nlaunch\n",
         "3: launch: the user is logged out (no login before this line)"},
        {"app A\nlogout\nlogin\nactivate Dock\nexpect running Dock\n", ""},
        {"keep Safari\n", "1: no application named \"Safari\" is running here"},
        // What a kept item or a login item starts is known when the script runs.
        {"app Safari\nkeep Safari\nquitapp Safari\nactivate Safari\n", ""},
        {"keep Quenfold\nquit\n", ""},
        {"logout\nlogin\nactivate Mail\nquit\nlaunch\n", ""},
        // Finder starts again when it quits.
        {"finder\nquitapp Finder\nhide Finder\n", ""},
    };
    for (const auto& [script, error] : cases) {
        EXPECT_EQ(invalidityOf(script), error.empty() ? "" : "t.desk:" + error) << script;
    }
}

}  // namespace
