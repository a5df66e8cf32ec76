// The framework's main routine. On this machine the system runs in a simulated macOS session:
// the routine hands its arguments to whatever drives the program's session and answers the
// session's exit status.
#include "AppKit/NSApplication.h"
#include "sim/SessionDriver.h"

int NSApplicationMain(int argc, const char* argv[]) {
    return sim::driveProgramSession(argc, argv);
}
