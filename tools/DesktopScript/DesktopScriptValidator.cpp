// Follows the script's world statement by statement, as the session will build it, without
// touching the session: which applications run under which names and process identifiers,
// and where the system stands (not launched, running, quit).
#include "DesktopScript/DesktopScriptValidator.h"

#include <cmath>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "sim/Desktop.h"

namespace sim::script {
namespace {

struct Invalid {
    std::string message;
};

}  // namespace

class ScriptChecker {
public:
    ScriptChecker(std::string systemName, const ScriptStart& start)
        : systemName_(std::move(systemName)),
          nextPid_(start.nextPid),
          phase_(start.system),
          clock_(start.clock) {
        for (const auto& [name, pid] : start.running) {
            addRunning(name, pid);
        }
    }

    void check(const Action& action) {
        std::visit([this](const auto& statement) { checkStatement(statement); }, action);
    }

private:
    void checkStatement(const AppStatement& app) {
        if (running_.count(app.name) != 0) {
            throw Invalid{"an application named \"" + app.name + "\" is already running"};
        }
        pid_t pid = 0;
        if (app.pid) {
            pid = *app.pid;
            if (const std::string* owner = nameOfPid(pid)) {
                throw Invalid{"pid " + std::to_string(pid) + " is taken by " + *owner};
            }
        } else {
            // The session gives the next free identifier from 501 upward.
            while (nameOfPid(nextPid_) != nullptr) {
                ++nextPid_;
            }
            pid = nextPid_++;
        }
        addRunning(app.name, pid);
    }

    void checkStatement(const WindowStatement& window) { requireWorldApp(window.app); }

    void checkStatement(const AppActionStatement& action) {
        if (action.action == AppAction::Quit && action.app == systemName_) {
            // The system quits the way the user quits it.
            requireSystem("quitapp " + systemName_);
            systemQuits();
            return;
        }
        requireWorldApp(action.app);
        if (action.action == AppAction::Quit) {
            removeRunning(action.app);
        }
    }

    void checkStatement(const SystemStatement& statement) {
        if (statement.action == SystemAction::Launch) {
            if (phase_ != SystemPhase::NotLaunched) {
                throw Invalid{"launch: the system is launched at most once a run"};
            }
            phase_ = SystemPhase::Running;
            return;
        }
        requireSystem(describe(statement.action));
        if (statement.action == SystemAction::Quit) {
            systemQuits();
        }
    }

    void checkStatement(const SettingsSetStatement&) { requireSystem("settings set"); }

    void checkStatement(const ExpectHidden& expect) { requireName(expect.app); }

    void checkStatement(const ExpectActive& expect) {
        if (expect.app) {
            requireName(*expect.app);
        }
    }

    // The system's process leaves the desktop when it quits, name and pid with it.
    void systemQuits() {
        phase_ = SystemPhase::Quit;
        removeRunning(systemName_);
    }

    void addRunning(const std::string& name, pid_t pid) {
        running_[name] = pid;
        names_[pid] = name;
    }

    void removeRunning(const std::string& name) {
        const auto found = running_.find(name);
        if (found != running_.end()) {
            names_.erase(found->second);
            running_.erase(found);
        }
    }

    void checkStatement(const WaitStatement& wait) {
        clock_ += wait.seconds;
        if (!(clock_ <= kLatestClockTime)) {
            throw Invalid{"wait: the clock would pass " +
                          std::to_string(std::llround(kLatestClockTime)) +
                          " seconds, the latest a session reaches"};
        }
    }

    // Statements that name nothing of the world.
    template <typename Other>
    void checkStatement(const Other&) {}

    static std::string describe(SystemAction action) {
        switch (action) {
            case SystemAction::Launch:
                return "launch";
            case SystemAction::Reopen:
                return "reopen";
            case SystemAction::Quit:
                return "quit";
            case SystemAction::SettingsClose:
                return "settings close";
            case SystemAction::SettingsAccessibility:
                return "settings accessibility";
        }
        return {};
    }

    const std::string* nameOfPid(pid_t pid) const {
        const auto found = names_.find(pid);
        return found != names_.end() ? &found->second : nullptr;
    }

    void requireName(const std::string& name) const {
        if (running_.count(name) == 0) {
            throw Invalid{"no application named \"" + name + "\" is running here"};
        }
    }

    // An application the user acts on: the system's own process only while it runs.
    void requireWorldApp(const std::string& name) const {
        requireName(name);
        if (name == systemName_ && phase_ == SystemPhase::NotLaunched) {
            throw Invalid{systemName_ + " is not launched yet (no launch before this line)"};
        }
    }

    void requireSystem(const std::string& statement) const {
        if (phase_ == SystemPhase::NotLaunched) {
            throw Invalid{statement +
                          ": the system is not launched yet (no launch before this line)"};
        }
        if (phase_ == SystemPhase::Quit) {
            throw Invalid{statement + ": the system has quit"};
        }
    }

    std::string systemName_;
    // The running applications by name and by process identifier, kept in step.
    std::unordered_map<std::string, pid_t> running_;
    std::unordered_map<pid_t, std::string> names_;
    pid_t nextPid_;
    SystemPhase phase_;
    double clock_;  // where the waits checked so far take the clock
};

ScriptValidator::ScriptValidator(const std::string& systemName)
    : ScriptValidator(systemName, freshSessionStart(systemName)) {}

ScriptValidator::ScriptValidator(const std::string& systemName, const ScriptStart& start)
    : checker_(std::make_unique<ScriptChecker>(systemName, start)) {}

ScriptValidator::~ScriptValidator() = default;

std::optional<ScriptError> ScriptValidator::check(const Statement& statement) {
    try {
        checker_->check(statement.action);
    } catch (const Invalid& invalid) {
        return ScriptError{statement.line, invalid.message};
    }
    return std::nullopt;
}

ScriptStart freshSessionStart(const std::string& systemName) {
    ScriptStart start;
    start.running["Dock"] = kDockPid;
    start.running[systemName] = kSystemPid;
    start.nextPid = kFirstApplicationPid;
    return start;
}

std::optional<ScriptError> validateDesktopScript(const Script& script,
                                                 const std::string& systemName) {
    return validateDesktopScript(script, systemName, freshSessionStart(systemName));
}

std::optional<ScriptError> validateDesktopScript(const Script& script,
                                                 const std::string& systemName,
                                                 const ScriptStart& start) {
    ScriptValidator validator(systemName, start);
    for (const Statement& statement : script.statements) {
        if (std::optional<ScriptError> error = validator.check(statement)) {
            return error;
        }
    }
    return std::nullopt;
}

}  // namespace sim::script
