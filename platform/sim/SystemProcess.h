// What the desktop-script runner and the tests need from the system's own process and from
// the parts of the session that only the application frameworks know: the home folder with
// the user defaults and the login-item list, the launch, reopening and termination of the
// system, and the settings window's controls.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sim {

// --- The home folder. Every session reset points it at a fresh empty temporary folder; the
// runner points it at -SimulatedHome. Pointing it elsewhere forgets what was read before.
void setHomeFolder(const std::string& path);
std::string homeFolder();

// --- The system's own preference domain.
// Stores a boolean as an earlier run would have left it (in the file and in the running
// defaults). False, with the reason, when the stored file cannot be read: it is never
// overwritten silently.
bool storeSystemDefault(const std::string& key, bool value, std::string* error);
// The standard user defaults' answer for a key, registered defaults included; nullopt when no
// domain holds the key.
std::optional<bool> systemDefault(const std::string& key);

// --- The user's login-item list.
struct LoginItemEntry {
    std::string path;
    bool resolvable = true;  // false: its target cannot be resolved without mounting a volume
};
std::vector<LoginItemEntry> loginItems();
bool appendLoginItem(const LoginItemEntry& entry, std::string* error);

// --- The system's process.
enum class SystemState { NotLaunched, Running, Terminated };
SystemState systemState();
// Reads the bundle's Info.plist and main interface file, creates the delegate and delivers the
// launch callbacks. False, with the reason, when the bundle's files cannot be read.
bool launchSystem(std::string* error);
// The user opens the running system again (from the Finder or the Dock).
void reopenSystem();
// The user quits the system.
void terminateSystem();

// --- The settings window.
bool settingsWindowOnScreen();
std::string settingsStatusText();
// The user sets the control bound to the preference `key`; false when there is none.
bool setSettingsControl(const std::string& key, bool on);
// The user presses the control that sends `action` ("openUniversalAccessPref:"); false when
// there is none.
bool pressSettingsAction(const std::string& action);
void closeSettingsWindow();

}  // namespace sim
