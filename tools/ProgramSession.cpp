// The program's session driver: the live desktop when the command line asks to serve one,
// otherwise a desktop script from the command line or the built-in demo.
#include "DesktopScript/DesktopSession.h"
#include "LiveDesktop/LiveDesktopSession.h"
#include "sim/SessionDriver.h"

int sim::driveProgramSession(int argc, const char* argv[]) {
    if (live::servesLiveDesktop(argc, argv)) {
        return live::runLiveDesktopSession(argc, argv);
    }
    return runDesktopSession(argc, argv);
}
