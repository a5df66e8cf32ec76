// Checking a whole desktop script before anything runs: every name a statement uses exists
// at that point, process identifiers do not collide, the system is launched while it does not
// run and before anything asks it or its settings window to act.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DesktopScript/DesktopScript.h"

namespace sim::script {

// Unknown: after a login, whose login items are known only when the script runs.
enum class SystemPhase { NotLaunched, Running, Quit, Unknown };

// Where the session stands when a script starts on it: the applications running, by name, the
// process identifier from which the desktop looks for the next free one, and the system.
struct ScriptStart {
    std::map<std::string, pid_t> running;
    pid_t nextPid = 0;
    SystemPhase system = SystemPhase::NotLaunched;
    bool loggedOut = false;
    bool finder = false;              // Finder belongs to the desktop (it starts again)
    std::vector<std::string> kept{};  // applications whose Dock items the Dock keeps
    double clock = 0;                 // the session's clock
};

// A fresh session: the Dock and the system's own process, nothing launched.
ScriptStart freshSessionStart(const std::string& systemName);

class ScriptChecker;

// Follows a script statement by statement, so that a script can be checked without holding
// all its statements. `systemName` is the system's own process, named by its bundle
// ("Quenfold").
class ScriptValidator {
public:
    explicit ScriptValidator(const std::string& systemName);
    // On a session standing at `start`.
    ScriptValidator(const std::string& systemName, const ScriptStart& start);
    ~ScriptValidator();
    ScriptValidator(const ScriptValidator&) = delete;
    ScriptValidator& operator=(const ScriptValidator&) = delete;

    // Why the statement cannot run where it stands, after the statements checked before it.
    std::optional<ScriptError> check(const Statement& statement);

private:
    std::unique_ptr<ScriptChecker> checker_;
};

// The whole script at once.
std::optional<ScriptError> validateDesktopScript(const Script& script,
                                                 const std::string& systemName);
// The same checks for a script that runs on a session standing at `start`.
std::optional<ScriptError> validateDesktopScript(const Script& script,
                                                 const std::string& systemName,
                                                 const ScriptStart& start);

}  // namespace sim::script
