// The program's session driver: a desktop script from the command line, or the built-in demo.
#include "DesktopScript/DesktopSession.h"
#include "sim/SessionDriver.h"

int sim::driveProgramSession(int argc, const char* argv[]) {
    return runDesktopSession(argc, argv);
}
