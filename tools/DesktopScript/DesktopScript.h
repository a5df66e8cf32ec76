// A desktop script as statements: the world, the user's hand, the system and the
// expectations, each with the line it came from. Reading one checks every line's form; the
// names a statement uses are checked against the whole script by DesktopScriptValidator.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ApplicationServices/CGEvent.h"
#include "sim/Keyboard.h"

namespace sim::script {

// --- The world

struct AppStatement {
    std::string name;
    std::optional<pid_t> pid;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> bundlePath;
    bool noBundle = false;  // path=none
    std::optional<std::string> itemTitle;
    bool noItem = false;
    bool hidden = false;
};

struct DockItemStatement {
    std::string title;
    std::string subrole = "AXFolderDockItem";
    std::optional<std::string> url;
    bool urlObject = false;
};

struct WindowStatement {
    std::string app;
    std::string title;
    double x = 200;
    double y = 100;
    double width = 800;
    double height = 600;
};

enum class AppAction { Activate, Hide, Unhide, Quit };
struct AppActionStatement {
    AppAction action;
    std::string app;
};

struct AccessStatement {
    bool on;
};

struct DefaultStatement {
    std::string key;
    bool value;
};

// A login-item path: a folder, or the system's own bundle (`self`).
struct ItemPath {
    bool self = false;
    std::string path;  // when not self
};

struct LoginItemStatement {
    ItemPath path;
    bool unresolvable = false;
};

struct TapFailStatement {
    bool on;
};

struct WaitStatement {
    double seconds;
};
// The latest time a session's clock reaches (about 31 years): a script whose waits would take it
// further cannot run, so the clock stays a number a person and a script can read.
inline constexpr double kLatestClockTime = 1e9;

// --- The user's hand

struct Target {
    enum class Kind { Point, DockItem, Window, Control, MenuItem };
    Kind kind = Kind::Point;
    double x = 0;
    double y = 0;
    std::string title;  // DockItem, Window, Control and MenuItem
};

enum class PointerAction { Press, Release, Click, DoubleClick, Move };
struct PointerStatement {
    PointerAction action = PointerAction::Click;
    Target target;
    // The release's click state (Release and Click); without clicks=, that of the press the
    // release ends.
    std::optional<long> clicks;
    CGEventFlags flags = 0;
    std::vector<std::string> modifiers;         // as written, for the story
    CGMouseButton button = kCGMouseButtonLeft;  // button=left|right|other
};

// The user presses and releases a chord: the modifiers go down, then the key, then all come
// up in reverse order.
struct KeyStatement {
    Chord chord;
    std::string text;  // as written, for the story
};

struct TapDisableStatement {
    CGEventType reason;  // kCGEventTapDisabledByTimeout or kCGEventTapDisabledByUserInput
};

// --- The system

enum class SystemAction { Launch, Reopen, Quit, SettingsClose, SettingsAccessibility };
struct SystemStatement {
    SystemAction action;
};

struct SettingsSetStatement {
    std::string key;
    bool on;
};

// The user opens a file as from the Finder: an application bundle or a preference pane.
struct OpenStatement {
    ItemPath path;
};

// --- Expectations

struct ExpectHidden {
    std::string app;
    bool hidden;  // false: `expect visible`
};
struct ExpectActive {
    std::optional<std::string> app;  // none: no application is active
};
enum class Counted { HideRequests, LoginItems, Taps };
struct ExpectCount {
    Counted what;
    long count;
};
struct ExpectSettings {
    bool shown;
};
struct ExpectStatus {
    std::string text;
};
struct ExpectDockIcon {
    bool shown;
};
struct ExpectDefault {
    std::string key;
    bool value;
};
enum class ItemPlace { First, Present, Absent };
struct ExpectLoginItem {
    ItemPath path;
    ItemPlace place;
};
struct ExpectOpened {
    std::optional<std::string> path;  // none: nothing at all has been opened
};
struct ExpectAccess {
    bool on;
};
struct ExpectControl {
    std::string title;  // the checkbox titled so in the frontmost window that has one
    bool on;
};
struct ExpectMenu {
    bool shown;
};

// --- The user's session and the Dock's own items

enum class SessionAction { Logout, Login };
struct SessionStatement {
    SessionAction action;
};
// `finder`, `trash`: world statements that give the Dock Finder or the Trash.
enum class DockFixture { Finder, Trash };
struct DockFixtureStatement {
    DockFixture what;
};
struct KeepStatement {
    std::string app;
};
struct ExpectRunning {
    std::string app;
    bool running;  // false: `expect notrunning`
};
struct ExpectLastHide {
    std::optional<std::string> app;  // none: no hide request since the system launched
};
struct ExpectDock {
    std::vector<std::string> titles;  // the Dock's titled items, first to last
};
struct ExpectFrame {
    std::string title;  // the frontmost window titled so
    double x, y, width, height;
};

using Action = std::variant<AppStatement, DockItemStatement, WindowStatement, AppActionStatement,
                            AccessStatement, DefaultStatement, LoginItemStatement, TapFailStatement,
                            WaitStatement, PointerStatement, KeyStatement, TapDisableStatement,
                            SystemStatement, SettingsSetStatement, OpenStatement, ExpectHidden,
                            ExpectActive, ExpectCount, ExpectSettings, ExpectStatus, ExpectDockIcon,
                            ExpectDefault, ExpectLoginItem, ExpectOpened, ExpectAccess,
                            ExpectControl, SessionStatement, DockFixtureStatement, KeepStatement,
                            ExpectRunning, ExpectLastHide, ExpectDock, ExpectFrame, ExpectMenu>;

struct Statement {
    int line = 0;
    Action action;
};

struct ScriptError {
    int line = 0;  // 0: the script as a whole
    std::string message;
};

struct Script {
    std::string name;  // as messages name it: the file, or "-" for standard input
    std::vector<Statement> statements;
};

struct ParsedScript {
    Script script;
    std::optional<ScriptError> error;  // the first malformed line
};

// The longest line a script may have: longer than any statement needs, and a bound on what one
// line can cost.
inline constexpr std::size_t kMaxLineBytes = std::size_t{64} * 1024;

// Reads the statements of `text` one at a time, in order, handing each to `take`, which
// answers whether to go on. Stops at the first malformed line and answers its error. A line is
// malformed when it is longer than kMaxLineBytes, holds a NUL character or is not UTF-8 text,
// or when its words do not make a statement.
std::optional<ScriptError> readStatements(std::string_view text,
                                          const std::function<bool(Statement&&)>& take);

// Reads every line into statements; stops at the first malformed one.
ParsedScript parseDesktopScript(std::string name, std::string_view text);

// "FILE:LINE: message" (or "FILE: message" for the script as a whole).
std::string describeError(const std::string& scriptName, const ScriptError& error);

}  // namespace sim::script
