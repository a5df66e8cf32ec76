// System Preferences, an application of the session: its process, its Dock item and one window
// at a time (the pane shown), whose controls are accessibility elements like any application's.
// The Universal Access pane switches the session's accessibility access; the Users & Groups
// pane shows the current user's login items and changes the list as another process does.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "sim/Desktop.h"

namespace sim {

inline constexpr const char* kSystemPreferencesName = "System Preferences";
inline constexpr const char* kSystemPreferencesBundleIdentifier = "com.apple.systempreferences";
inline constexpr const char* kSystemPreferencesBundlePath = "/Applications/System Preferences.app";
inline constexpr const char* kPreferencePanesFolder = "/System/Library/PreferencePanes";

inline constexpr const char* kAssistiveDevicesCheckbox = "Enable access for assistive devices";

enum class PreferencePane { ShowAll, UniversalAccess, UsersAndGroups };

// The pane a preference-pane bundle of the system's folder stands for
// (UniversalAccessPref.prefPane, Accounts.prefPane); ShowAll for another pane of the folder;
// nothing for a path that is no preference pane.
std::optional<PreferencePane> preferencePaneAt(const std::string& path);

// Launches System Preferences unless it runs, shows the window of `pane` in place of the one
// shown before, and makes it the active application.
void openSystemPreferences(PreferencePane pane);
// Its process while it runs.
std::optional<pid_t> systemPreferencesPid();

// A click on `node` (a press and a release inside it), or AXPress on it: when it is a control
// of System Preferences' windows, the control acts and the answer is true.
//  - "Enable access for assistive devices" switches accessibility access.
//  - A row of the Login Items list becomes the selected row.
//  - "−" removes the selected row's entry from the login-item list.
//  - "+" appends the application that was active before System Preferences (the one the user
//    came from, as if chosen in the sheet macOS shows); an entry listed already moves to the end.
//  - "Show All" and the pane buttons of the "System Preferences" window switch panes.
bool pressSystemPreferencesControl(NodeId node);

// Its windows catch up with the world (each turn of the run loop): the check box with the
// accessibility access, the Login Items rows with the login-item list.
void refreshSystemPreferences();

// A fresh session: System Preferences does not run.
void resetSystemPreferences();

}  // namespace sim
