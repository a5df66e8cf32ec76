// The framework's main routine. On this machine the system runs in a simulated macOS session,
// which a desktop script drives: the routine hands its arguments to the session and answers
// the session's exit status.
#include "AppKit/NSApplication.h"
#include "sim/DesktopSession.h"

int NSApplicationMain(int argc, const char* argv[]) {
    return sim::runDesktopSession(argc, argv);
}
