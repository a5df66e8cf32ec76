// What the desktop-script runner and the tests need from the system's own process and from
// the parts of the session that only the application frameworks know: the user defaults and
// the login-item list and the settings window's controls; with the home folder (sim/HomeFolder.h)
// and the launch, reopening and termination of the system (AppKit/SystemLifecycleInternal.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "AppKit/SystemLifecycleInternal.h"
#include "sim/HomeFolder.h"

namespace sim {

// --- The system's own preference domain.
// Stores a boolean as an earlier run would have left it (in the file and in the running
// defaults, which agree afterwards). An unreadable file found on the way has been moved aside
// and reported, and the value starts a fresh file. False, with the reason, and nothing
// changed, when the value cannot be written: the file cannot be written, or an unreadable file
// could not be moved aside (it is then never overwritten).
bool storeSystemDefault(const std::string& key, bool value, std::string* error);
// The standard user defaults' answer for a key, registered defaults included; nullopt when no
// domain holds the key.
std::optional<bool> systemDefault(const std::string& key);

// --- The user's login-item list.
struct LoginItemEntry {
    std::string path;
    bool resolvable = true;     // false: its target cannot be resolved without mounting a volume
    std::string displayName{};  // empty when appending: the name the Finder shows for the path
    bool hasIcon = false;       // appending: the entry shows the icon of its target
};
// The entries in list order (an unreadable list file has been moved aside: none).
std::vector<LoginItemEntry> loginItems();
// Appends an entry for the folder at `path` (absolute), as an earlier run or another program
// would have left it, and writes the list. False, with the reason, and nothing changed, when
// the path is not absolute or the list cannot be written.
bool appendLoginItem(const LoginItemEntry& entry, std::string* error);
// Whether an entry resolves to the folder at `path`, as the Dock's "Open at Login" shows it.
bool loginItemListed(const std::string& path);
// The Dock's "Open at Login": adds an entry for `path` at the end of the list, or removes every
// entry that resolves to it, as Launch Services does for the Dock. A list that cannot be
// written is left as it was, and the list reports why.
void setLoginItem(const std::string& path, bool listed);

// --- The settings window: the first window of the main interface file.
bool settingsWindowOnScreen();
// The text of the window's text field with the identifier "status" (empty when none).
std::string settingsStatusText();
// The colour of that field's text as "#rrggbb" (empty when there is no such field).
std::string settingsStatusColor();
// Whether the switch bound to the preference `key` is on; nothing when the interface file has
// not been loaded or has no such switch. The switch keeps its state while the window is closed.
std::optional<bool> settingsControlState(const std::string& key);
// The user sets the switch bound to the preference `key`. Setting it to the value it shows is
// no click (nothing is stored or sent); otherwise it stores the value, then sends its action.
// False when the window is not on screen or no switch is bound to `key`.
bool setSettingsControl(const std::string& key, bool on);
// The user presses the control that sends `action` ("openUniversalAccessPref:"); false when
// the window is not on screen or there is none.
bool pressSettingsAction(const std::string& action);
// The user closes the window: it goes off screen and can be shown again.
void closeSettingsWindow();

// What the window shows, for a front end that draws it. Its title, empty before the launch.
std::string settingsWindowTitle();
// One view of the window, with its frame in the window's content (below the title bar, origin
// at the top left).
struct SettingsView {
    enum class Kind { Text, Switch, Button };
    Kind kind = Kind::Text;
    std::string identifier;  // empty when the view has none
    std::string text;        // a text field's value, a button's title
    std::string color;       // a text field's text colour as "#rrggbb"; empty for the others
    std::string key;         // the preference a switch is bound to; empty when none
    std::string action;      // the action a control sends ("openUniversalAccessPref:"); or empty
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};
// Its views in the window's order; none before the launch. Views of other kinds are left out.
std::vector<SettingsView> settingsWindowViews();

}  // namespace sim
