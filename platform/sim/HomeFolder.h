// The session's home folder, as the parts of the session that keep files there see it.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// The home folder. Every session reset points it at a fresh empty temporary folder (and
// removes the one made before; the last one goes at exit); the runner points it at
// -SimulatedHome, which is made if missing and never removed. Pointing it elsewhere forgets
// what was read before. It holds the preferences and the login-item list under
// Library/Preferences. A file there that cannot be read is never overwritten: it is moved
// aside (<name>.unreadable, numbered when taken), reported in the transcript, and the session
// starts that file afresh (see CoreFoundation/StoredPropertyListInternal.h).
void setHomeFolder(const std::string& path);
std::string homeFolder();

// Changes whenever the home folder is pointed elsewhere (every reset, every setHomeFolder).
// Whatever was read from the home folder is to be read afresh when it changes.
std::uint64_t homeFolderGeneration();

// Points the home folder at a fresh empty temporary folder and removes the one made before
// (the last one goes at exit).
void useFreshTemporaryHomeFolder();

// <home>/Library/Preferences/<fileName>
std::string preferencesFilePath(const std::string& fileName);

// A path inside the home folder as a person reads it in the transcript: relative to the home
// folder ("Library/Preferences/…"), so transcripts do not depend on where the folder lies.
std::string pathForTranscript(const std::string& path);

}  // namespace sim
