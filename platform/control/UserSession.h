// The user's session on the desktop: logging out ends every process, logging in on the same
// home folder starts the Dock, Finder and the user's login items.
#pragma once

#include <functional>

#include "sim/Desktop.h"

namespace sim {

// The user logs out: every application is asked to quit, one after another in the order they
// started (the system through its termination path), then Finder and the Dock end. Until the
// next login nothing runs and nothing starts by itself.
void logOut();
bool loggedOut();
// The user logs in again on the same home folder: the Dock with the items it keeps, Finder when
// the desktop has it, then every entry of the login-item list in order: the system's own bundle
// launches the system, another application bundle launches that application, anything else
// (a folder, a document) is opened. An entry that cannot be resolved is passed over.
void logIn();
// The Dock's request to start the application of a kept item that was clicked while it did
// not run: it starts at the next pass of the main run loop (the system's own bundle launches
// the system).
void launchKeptApplication(const ApplicationSpec& setup);
// The desktop's delayed work, on a timer of the main run loop `seconds` from now.
void runOnMainRunLoopAfter(double seconds, std::function<void()> work);

}  // namespace sim
