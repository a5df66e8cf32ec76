// A whole simulated session from the command line: the program's session driver hands its
// arguments here. -SimulatedDesktop FILE names the desktop script ("-": standard input;
// without it the built-in demo runs), -SimulatedHome DIR the home folder (without it a fresh
// temporary folder, removed at exit). The answer is the exit status: 0 when the script ran to
// its end, 1 when an expectation failed, 2 when the script or the arguments cannot be used.
#pragma once

#include <iosfwd>
#include <string_view>

namespace sim {

// The program's whole session: the run on the standard streams, then the session is ended
// (reset), so that nothing of it outlives the program.
int runDesktopSession(int argc, const char* argv[]);
// The run alone, with the streams named; the session stays as the run left it.
int runDesktopSession(int argc, const char* argv[], std::istream& input, std::ostream& output,
                      std::ostream& errors);

// The built-in demo script, scenarios/demo.desk as it was at build time.
std::string_view builtInDemoScript();

}  // namespace sim
