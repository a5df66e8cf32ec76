// The program's session driver: the usage or the version when the command line asks for them,
// the live desktop when it asks to serve one, otherwise a desktop script from the command line
// or the built-in demo.
#include <iostream>
#include <optional>

#include "DesktopScript/DesktopSession.h"
#include "LiveDesktop/LiveDesktopSession.h"
#include "sim/SessionDriver.h"

int sim::driveProgramSession(int argc, const char* argv[]) {
    if (const std::optional<int> answered = answerProgramQuery(argc, argv, std::cout, std::cerr)) {
        return *answered;
    }
    if (live::servesLiveDesktop(argc, argv)) {
        return live::runLiveDesktopSession(argc, argv);
    }
    return runDesktopSession(argc, argv);
}
