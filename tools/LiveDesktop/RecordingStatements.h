// Desktop-script statements for a recording of the live session: the user's hand, the waits
// between actions, what the home folder held at the start, and expectations of the desktop as
// it stands. Every number is written so that reading it back gives the very same value, so the
// replayed session reaches exactly the times and points the live one did.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::live {

// A word as a script reads it back: quoted when it holds blanks, `#`, quotes, backslashes or
// an `=`, or is empty.
std::string scriptWord(const std::string& text);
// The shortest decimal (no exponent) that reads back as exactly `value`.
std::string exactDecimal(double value);
// A whole number of milliseconds in seconds: 1500 → "1.5", 2000 → "2", 5 → "0.005".
std::string millisecondsInSeconds(std::uint64_t milliseconds);

enum class HandKind { Press, Release, Move };
// "press 412,870 mods=command", "release 412,870 clicks=2", "move 10.5,20"; a press or release
// of another button names it ("press 412,870 button=right").
std::string handStatement(HandKind kind, double x, double y, long clicks,
                          const std::vector<std::string>& modifiers, const char* button = "left");

// `default` and `loginitem` statements that recreate what the home folder holds now for the
// system (its boolean preferences, the login-item list), with a comment for anything a script
// cannot recreate. Empty when the folder holds nothing.
std::string homeFolderStatements();

// `expect` statements that hold for the desktop as it stands: every application hidden or
// visible, the active one, the settings window and its status, the Dock icon, the hide
// requests, the taps, the three preferences and the login items.
std::string expectationsOfSessionNow();

}  // namespace sim::live
