// What the application frameworks of the system's own process share with the session beyond
// the control API of SystemProcess.h.
#pragma once

#include <sys/types.h>

#include <cstdint>

class NSWindow;

namespace sim {

// Counts session resets. A window remembers the generation its desktop node was made in: a
// node of an earlier session is no longer its own.
std::uint64_t sessionGeneration();

// A process that has not launched and has nothing alive: the delegate and the main interface
// file's objects are let go, the application object starts afresh.
void resetSystemProcess();

// The application's process has ended (after NSApplication's terminate): it quits in the
// desktop, and its run loop drops every source, timer and pending perform, so nothing of the
// process runs any more.
void endSystemProcess();

// Takes away what the ended process left (its interface objects, what the frameworks kept for
// it, the image of its code). Runs where no code of the process can be on the stack: after a
// termination the session asked for, before a launch, and at each world turn.
void reapEndedSystemProcess();

// The settings window of the loaded main interface file, or nil before a launch.
NSWindow* settingsWindow();

// The Dock asks the application `pid` to reopen (a click on its Dock item). The reopen event
// reaches the system's process through its main run loop, at the next pass, so after the
// event that caused it has reached every receiver; the session's other applications have no
// handler of their own to run.
void sendReopenEvent(pid_t pid);

}  // namespace sim
