// The program's session driver: the usage or the version when the command line asks for them,
// the live desktop when it asks to serve one, otherwise a desktop script from the command line
// or the built-in demo.
#include <signal.h>

#include <iostream>
#include <optional>

#include "DesktopScript/DesktopSession.h"
#include "LiveDesktop/LiveDesktopSession.h"
#include "sim/SessionDriver.h"

namespace {

sigset_t gInheritedSignalMask;

// SIGINT and SIGTERM are held from the program's first instruction, before any library's own
// start-up (which takes most of the time before `main`; only the kernel's and the loader's work
// comes earlier, and no code of the program can run there): one that comes while the live desktop
// starts waits for its stop handling and ends the session with exit 0, never the process
// unfinished. Everything else gets them back as the program found them.
void holdStopSignals(int, char**, char**) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, &gInheritedSignalMask);
}

// Run by the loader before the libraries' initialisers, as only an executable's can be.
[[gnu::used,
  gnu::section(".preinit_array")]] void (*const gHoldStopSignals)(int, char**,
                                                                  char**) = holdStopSignals;

}  // namespace

int sim::driveProgramSession(int argc, const char* argv[]) {
    const bool serving = live::servesLiveDesktop(argc, argv);
    if (!serving) {
        sigprocmask(SIG_SETMASK, &gInheritedSignalMask, nullptr);
    }
    if (const std::optional<int> answered = answerProgramQuery(argc, argv, std::cout, std::cerr)) {
        return *answered;
    }
    return serving ? live::runLiveDesktopSession(argc, argv) : runDesktopSession(argc, argv);
}
