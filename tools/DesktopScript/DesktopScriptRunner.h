// Running a desktop script that has been read and checked, on the current session.
#pragma once

#include <iosfwd>

#include "DesktopScript/DesktopScript.h"

namespace sim::script {

inline constexpr int kScriptRan = 0;
inline constexpr int kExpectationFailed = 1;
inline constexpr int kScriptUnusable = 2;

// Carries out each statement in order and settles the session after each one; the story goes
// to `story` as it happens. At the first expectation that fails (exit status 1) or statement
// that cannot be carried out (exit status 2) the run stops with "FILE:LINE: …" on `errors`.
int runDesktopScript(const Script& script, std::ostream& story, std::ostream& errors);

}  // namespace sim::script
