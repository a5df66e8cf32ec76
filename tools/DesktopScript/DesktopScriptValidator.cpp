// Follows the script's world statement by statement, as the session will build it, without
// touching the session: which applications run under which names and process identifiers,
// and where the system stands (not launched, running, quit; a launch after a quit is a new
// process).
#include "DesktopScript/DesktopScriptValidator.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "control/SystemPreferences.h"
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
          loggedOut_(start.loggedOut),
          finderWanted_(start.finder),
          kept_(start.kept.begin(), start.kept.end()),
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
        requireLoggedIn("app");
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
            pid = nextFreePid();
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
            if (action.app == "Dock") {
                dockBackAt_ = clock_ + Desktop::kDockRestartSeconds;
            }
            if (action.app == kFinder && finderWanted_) {
                // Finder starts again at once.
                addRunning(kFinder, nextFreePid());
            }
        }
    }

    void checkStatement(const SystemStatement& statement) {
        if (statement.action == SystemAction::Launch) {
            requireLoggedIn("launch");
            if (phase_ == SystemPhase::Running) {
                throw Invalid{"launch: the system is running already (quit it first)"};
            }
            if (phase_ == SystemPhase::Quit || phase_ == SystemPhase::Unknown) {
                // A new process, with the next free identifier.
                addRunning(systemName_, nextFreePid());
            }
            phase_ = SystemPhase::Running;
            return;
        }
        requireSystem(describe(statement.action));
        if (statement.action == SystemAction::Quit) {
            systemQuits();
        } else if (statement.action == SystemAction::SettingsAccessibility) {
            launches(kSystemPreferencesName);  // the pane opens in System Preferences
        }
    }

    void checkStatement(const OpenStatement& open) {
        requireLoggedIn("open");
        if (open.path.self) {
            // The system launches as a new process unless it runs, which reopens.
            if (phase_ == SystemPhase::Quit || phase_ == SystemPhase::Unknown) {
                launches(systemName_);
            }
            phase_ = SystemPhase::Running;
            return;
        }
        const std::filesystem::path path(open.path.path);
        if (preferencePaneAt(open.path.path) || path == kSystemPreferencesBundlePath) {
            launches(kSystemPreferencesName);
        } else if (path.extension() == ".app") {
            launches(path.stem().string());
        } else {
            throw Invalid{"open: " + open.path.path +
                          " is neither an application bundle nor a preference pane"};
        }
    }

    // An application launched by name unless it runs, with the next free process identifier.
    void launches(const std::string& name) {
        if (running_.count(name) == 0) {
            addRunning(name, nextFreePid());
        }
    }

    void checkStatement(const SettingsSetStatement&) { requireSystem("settings set"); }

    void checkStatement(const ExpectHidden& expect) { requireName(expect.app); }

    void checkStatement(const ExpectActive& expect) {
        if (expect.app) {
            requireName(*expect.app);
        }
    }

    // The session gives the next free identifier from 501 upward.
    pid_t nextFreePid() {
        while (nameOfPid(nextPid_) != nullptr) {
            ++nextPid_;
        }
        return nextPid_++;
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

    void checkStatement(const SessionStatement& statement) {
        if (statement.action == SessionAction::Logout) {
            requireLoggedIn("logout");
            loggedOut_ = true;
            dockBackAt_.reset();
            running_.clear();
            names_.clear();
            phase_ = SystemPhase::Quit;
            return;
        }
        if (!loggedOut_) {
            throw Invalid{"login: the user is logged in (no logout before this line)"};
        }
        loggedOut_ = false;
        addRunning("Dock", kDockPid);
        finderWanted_ = true;
        addRunning(kFinder, nextFreePid());
        // What the login items start is known only when the script runs.
        runDecides_ = true;
        phase_ = SystemPhase::Unknown;
    }

    void checkStatement(const DockFixtureStatement& statement) {
        if (statement.what == DockFixture::Finder) {
            requireLoggedIn("finder");
            finderWanted_ = true;
            if (running_.count(kFinder) == 0) {
                addRunning(kFinder, nextFreePid());
            }
        }
    }

    void checkStatement(const KeepStatement& statement) {
        requireLoggedIn("keep");
        if (statement.app != systemName_) {
            requireWorldApp(statement.app);
        }
        kept_.insert(statement.app);
    }

    void requireLoggedIn(const std::string& statement) const {
        if (loggedOut_) {
            throw Invalid{statement + ": the user is logged out (no login before this line)"};
        }
    }

    // A choice in the Dock's menu may quit, hide or launch an application, and so may the hand
    // at a point (a kept Dock item, a menu's item, a button that opens System Preferences) or on
    // a control: the run tells.
    void checkStatement(const PointerStatement& pointer) {
        const Target::Kind kind = pointer.target.kind;
        if (kind == Target::Kind::MenuItem || kind == Target::Kind::Point ||
            kind == Target::Kind::Control) {
            runDecides_ = true;
        }
        if ((kind == Target::Kind::MenuItem || kind == Target::Kind::Point) &&
            phase_ == SystemPhase::Running) {
            phase_ = SystemPhase::Unknown;
        }
    }

    void checkStatement(const WaitStatement& wait) {
        clock_ += wait.seconds;
        if (dockBackAt_ && clock_ >= *dockBackAt_) {
            // The system has started the Dock again.
            addRunning("Dock", kDockPid);
            dockBackAt_.reset();
        }
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
        // A click on a kept item may have started it, a login item may have: the run tells.
        if (running_.count(name) == 0 && kept_.count(name) == 0 && !runDecides_) {
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
        if (phase_ == SystemPhase::Unknown || kept_.count(systemName_) != 0) {
            return;
        }
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
    bool loggedOut_ = false;
    bool runDecides_ = false;  // what runs is known only when the script runs (a login, a menu)
    std::optional<double> dockBackAt_;  // when the Dock that quit by itself is back
    bool finderWanted_ = false;
    std::unordered_set<std::string> kept_;
    static constexpr const char* kFinder = "Finder";
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
