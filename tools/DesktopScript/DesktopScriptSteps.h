// What each statement of a desktop script does to the session, one overload of `perform` per
// statement kind, grouped in files by concern: the world, the user's hand, the system, the
// expectations. Each tells the story of what it does as it goes.
#pragma once

#include <sys/types.h>

#include <iosfwd>
#include <string>

#include "DesktopScript/DesktopScript.h"
#include "DesktopScript/DesktopScriptWords.h"
#include "DesktopScript/DockClickAccount.h"
#include "sim/Transcript.h"

namespace sim::script {

// A statement that cannot be carried out in the session as it stands: a target that is not
// there, a settings control while the window is not on screen (exit status 2).
struct StepUnusable {
    std::string message;
};

// An expectation that does not hold: "expected …, found …" (exit status 1).
struct ExpectationFailed {
    std::string message;
};

// The story of the run on standard output: the transcript's lines as they are recorded, the
// statements of the user and the script ("> …") and the expectations that held ("= …"), each
// stamped with the virtual time.
class Story {
public:
    explicit Story(std::ostream& out) : out_(out) {}

    void transcriptLine(const TranscriptLine& line);
    void tell(const std::string& text);
    void confirm(const std::string& text);
    // The session's account of what the system read and did ("* …").
    void explain(const std::string& text);
    void flush();

    // What the hand's clicks are told with, kept from a press to its release.
    DockClickAccount dockClicks;

private:
    void stamped(const std::string& text);

    std::ostream& out_;
};

// The system's own process, named by its bundle ("Quenfold").
std::string systemName();
// The process of an application the script names (validated to run at this point).
pid_t pidNamed(const std::string& name);
// 12, 12.5, -3.25: as few digits as the number needs.
std::string formatNumber(double value);
// The folder that an item path names: the system's own bundle for `self`, without a trailing
// slash.
std::string folderOf(const ItemPath& path);
// The same for the story: "Quenfold's own bundle" for `self`.
std::string describeItemPath(const ItemPath& path);
std::string withoutTrailingSlash(std::string path);

// --- The world (DesktopScriptWorld.cpp)
void perform(const AppStatement& statement, Story& story);
void perform(const DockItemStatement& statement, Story& story);
void perform(const WindowStatement& statement, Story& story);
void perform(const AppActionStatement& statement, Story& story);
void perform(const AccessStatement& statement, Story& story);
void perform(const DefaultStatement& statement, Story& story);
void perform(const LoginItemStatement& statement, Story& story);
void perform(const TapFailStatement& statement, Story& story);
void perform(const WaitStatement& statement, Story& story);

// --- The user's hand (DesktopScriptHand.cpp)
void perform(const PointerStatement& statement, Story& story);
void perform(const TapDisableStatement& statement, Story& story);
// --- The user's keyboard (DesktopScriptKeyboard.cpp)
void perform(const KeyStatement& statement, Story& story);

// --- The system (DesktopScriptSystem.cpp)
void perform(const SystemStatement& statement, Story& story);
void perform(const SettingsSetStatement& statement, Story& story);
void perform(const OpenStatement& statement, Story& story);

// --- Expectations (DesktopScriptExpectations.cpp)
void perform(const ExpectHidden& expectation, Story& story);
void perform(const ExpectActive& expectation, Story& story);
void perform(const ExpectCount& expectation, Story& story);
void perform(const ExpectSettings& expectation, Story& story);
void perform(const ExpectStatus& expectation, Story& story);
void perform(const ExpectDockIcon& expectation, Story& story);
void perform(const ExpectDefault& expectation, Story& story);
void perform(const ExpectLoginItem& expectation, Story& story);
void perform(const ExpectOpened& expectation, Story& story);
void perform(const ExpectAccess& expectation, Story& story);
void perform(const ExpectControl& expectation, Story& story);
void perform(const ExpectMenu& expectation, Story& story);

// --- The user's session and the Dock's own items (DesktopScriptSessions.cpp)
void perform(const SessionStatement& statement, Story& story);
void perform(const DockFixtureStatement& statement, Story& story);
void perform(const KeepStatement& statement, Story& story);
void perform(const ExpectRunning& expectation, Story& story);
void perform(const ExpectLastHide& expectation, Story& story);
void perform(const ExpectDock& expectation, Story& story);
// --- Windows (DesktopScriptExpectations.cpp)
void perform(const ExpectFrame& expectation, Story& story);

}  // namespace sim::script
