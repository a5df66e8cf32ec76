// What drives the program's session. The platform runs a session without knowing what drives
// it (a desktop script, the built-in demo, the live desktop): the program links exactly one
// driver, from the tools that drive a session from outside. The framework's main routine hands
// it the command line and answers the exit status it returns.
#pragma once

namespace sim {

int driveProgramSession(int argc, const char* argv[]);

}  // namespace sim
