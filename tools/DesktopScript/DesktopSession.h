// A whole simulated session from the command line: the program's session driver hands its
// arguments here. -SimulatedDesktop FILE names the desktop script ("-": standard input;
// without it the built-in demo runs), -SimulatedHome DIR the home folder (without it a fresh
// temporary folder, removed at exit). The answer is the exit status: 0 when the script ran to
// its end, 1 when an expectation failed, 2 when the script or the arguments cannot be used.
// Before any session the driver asks answerProgramQuery whether the command line only asks for
// the usage or the version.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DesktopScript/DesktopScript.h"

namespace sim {

// -h, -help or --help (the usage) or --version (the bundle's version) on the command line,
// answered on `output` (or why the version cannot be read, on `errors`): the exit status, or
// nothing when the command line asks for a session. Not a request: the value of
// -SimulatedDesktop or -SimulatedHome ("-SimulatedDesktop -h" names a script).
std::optional<int> answerProgramQuery(int argc, const char* argv[], std::ostream& output,
                                      std::ostream& errors);

// The command line's string for -KEY, as the platform reads its arguments (the argument domain
// of the user defaults), once setProcessArguments has been given them.
std::optional<std::string> commandLineValue(const std::string& key);

// A session started from the command line: its script read and checked whole, then a fresh
// session pointed at the home folder asked for.
struct StartedSession {
    std::string scriptName;  // as messages name it: the file, "-", or the default's name
    std::string scriptText;  // checked whole
    // The statements of the text, for a caller that needs them held (a run from the text reads
    // them one at a time instead).
    script::Script statements() const;
};
struct DefaultScript {
    std::string name;
    std::string text;
};
// Reads -SimulatedDesktop and -SimulatedHome; `otherKeys` are the driver's own keys, which
// must not end the command line without their value either. The script (or `withoutScript`
// when none is named) is read and checked whole before anything in the session or the home
// folder changes; then the session is reset and pointed at the home folder. Nothing, with the
// reason on `errors`, when the arguments or the script cannot be used (exit status 2).
std::optional<StartedSession> startDesktopSession(int argc, const char* argv[],
                                                  const DefaultScript& withoutScript,
                                                  const std::vector<std::string>& otherKeys,
                                                  std::istream& input, std::ostream& errors);

// The program's whole session: the run on the standard streams, then the session is ended
// (reset), so that nothing of it outlives the program.
int runDesktopSession(int argc, const char* argv[]);
// The run alone, with the streams named; the session stays as the run left it.
int runDesktopSession(int argc, const char* argv[], std::istream& input, std::ostream& output,
                      std::ostream& errors);

// The built-in demo script, scenarios/demo.desk as it was at build time.
std::string_view builtInDemoScript();

}  // namespace sim
