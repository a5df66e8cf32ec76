// The system's own process as AppKit runs it: its launch from the bundle's Info.plist and main
// interface file, reopening and termination, and what the other frameworks and the session's
// control share about it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

class NSWindow;

namespace frameworks {

enum class SystemState { NotLaunched, Running, Terminated };
SystemState systemState();
// Where the image of the system's code lives (the program's bundle holds it beside the
// program): each launch loads it afresh and the end of the process unloads it, so every launch
// starts the system's statics as at program start. Empty (the default): the system's code is
// linked into the program, and its statics outlive a process.
void setSystemImagePath(const std::string& path);
std::string systemImagePath();
// Starts the system as a new process (a new pid after the first): loads its code, reads the
// bundle's Info.plist and main interface file, creates the delegate and delivers the launch
// callbacks. False, with the reason, when the code or the bundle's files cannot be read, or when
// the system is running already.
bool launchSystem(std::string* error);
// The user opens the running system again (from the Finder or the Dock). Nothing before the
// launch or after the end.
void reopenSystem();
// The user quits the system: NSApplication's terminate:, which ends the process unless the
// delegate refuses.
void terminateSystem();

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

}  // namespace frameworks
