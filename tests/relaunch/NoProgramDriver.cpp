// The frameworks are linked whole into this binary, so that the image of the system's code finds
// every one of them, and their main routine with them: it needs a driver, which a test binary
// never runs.
#include <cstdio>

#include "sim/SessionDriver.h"

int sim::driveProgramSession(int, const char*[]) {
    std::fputs("this binary drives no program session\n", stderr);
    return 2;
}
