// The framework's main routine. On this machine the system runs in a simulated macOS session:
// the routine hands its arguments to whatever drives the program's session and answers the
// session's exit status. The system's code is the image beside the program in the bundle, which
// every launch of the system loads afresh.
#include "AppKit/NSApplication.h"
#include "sim/Desktop.h"
#include "sim/SessionDriver.h"
#include "sim/SystemProcess.h"

int NSApplicationMain(int argc, const char* argv[]) {
    sim::setSystemImagePath(sim::mainBundlePath() + "/Contents/MacOS/QuenfoldSystem.so");
    return sim::driveProgramSession(argc, argv);
}
