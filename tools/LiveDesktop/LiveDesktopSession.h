// The live desktop from the command line:
//   Quenfold -SimulatedServe PORT [-SimulatedDesktop FILE|-] [-SimulatedHome DIR]
//            [-SimulatedServeHost HOST] [-SimulatedServeRemote YES]
// It listens at HOST (127.0.0.1 unless given; a loopback address unless -SimulatedServeRemote
// YES) and PORT (0: any free port) and says so as the first line of standard output
// ("serving http://HOST:PORT/", with "?token=TOKEN" when served to other machines: every
// request must then carry that token). The script, when given, runs
// first exactly as a script run (malformed: exit 2, serving nothing; a failed expectation:
// exit 1); without one the session starts with the built-in demo's world statements only. Then
// the session is served, in real time, until SIGINT or SIGTERM ends it the way the end of a
// script does: exit 0. A port that cannot be bound exits 2 with the reason.
#pragma once

#include <iosfwd>
#include <string>

namespace sim::live {

// Whether the command line asks for the live desktop (-SimulatedServe, with or without a value).
bool servesLiveDesktop(int argc, const char* argv[]);

// The program's whole live session on the standard streams; the session is ended (reset)
// before it returns the exit status.
int runLiveDesktopSession(int argc, const char* argv[]);
// The story goes to the file descriptor `output`.
int runLiveDesktopSession(int argc, const char* argv[], std::istream& input, int output,
                          std::ostream& errors);

// The world statements (applications, windows, Dock items) of the built-in demo, as its lines.
std::string demoWorldText();

}  // namespace sim::live
