// Opening a file as the Finder does, for the user (a desktop script's `open`) and for the
// workspace (`-[NSWorkspace openURL:]` with a file URL).
#pragma once

#include <string>

namespace sim {

// An application bundle launches, or, running already, is activated and asked to reopen (the
// system's own bundle launches the system); a preference pane of the system's folder opens
// System Preferences at that pane. False, with the reason, for anything else, which nothing
// here opens, and when a launch fails.
bool openPath(const std::string& path, std::string* error);

}  // namespace sim
