// Running a desktop script that has been read and checked, on the current session.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "DesktopScript/DesktopScript.h"

namespace sim::script {

inline constexpr int kScriptRan = 0;
inline constexpr int kExpectationFailed = 1;
inline constexpr int kScriptUnusable = 2;

// Carries out each statement in order and settles the session after each one; the story goes
// to `story` as it happens. At the first expectation that fails (exit status 1) or statement
// that cannot be carried out (exit status 2) the run stops with "FILE:LINE: …" on `errors`.
int runDesktopScript(const Script& script, std::ostream& story, std::ostream& errors);
// The same for the text of a script that has been checked whole: its statements are read again
// one at a time as they run, so that a long script is never held as statements.
int runDesktopScript(const std::string& name, std::string_view text, std::ostream& story,
                     std::ostream& errors);

class Story;
// Where a run of statements stopped: kScriptRan, or the status with the statement's line and
// the reason ("expected …, found …").
struct RunOutcome {
    int status = kScriptRan;
    int line = 0;
    std::string message;
};
// The statements alone, told to `story`, on the session as it stands: the same run as
// runDesktopScript, without listening to the transcript (the caller decides where it goes) and
// without messages (the outcome holds them).
RunOutcome runStatements(const Script& script, Story& story);

}  // namespace sim::script
