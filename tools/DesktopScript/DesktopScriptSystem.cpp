// The system's own statements: the user launches, reopens and quits it, and uses the controls
// of its settings window, which exist for the hand only while the window is on screen.
#include "DesktopScript/DesktopScriptSteps.h"
#include "control/SystemProcess.h"

namespace sim::script {
namespace {

void requireSettingsOnScreen(const std::string& statement) {
    if (!settingsWindowOnScreen()) {
        throw StepUnusable{statement + ": the settings window is not on screen"};
    }
}

}  // namespace

void perform(const SystemStatement& statement, Story& story) {
    switch (statement.action) {
        case SystemAction::Launch: {
            story.tell("the user launches " + systemName());
            std::string error;
            if (!frameworks::launchSystem(&error)) {
                throw StepUnusable{"launch: the system cannot launch: " + error};
            }
            break;
        }
        case SystemAction::Reopen:
            story.tell("the user opens " + systemName() + " again");
            frameworks::reopenSystem();
            break;
        case SystemAction::Quit:
            story.tell("the user quits " + systemName());
            frameworks::terminateSystem();
            break;
        case SystemAction::SettingsClose:
            if (!settingsWindowOnScreen()) {
                story.tell("the settings window is not on screen: there is nothing to close");
                break;
            }
            story.tell("the user closes the settings window");
            closeSettingsWindow();
            break;
        case SystemAction::SettingsAccessibility:
            requireSettingsOnScreen("settings accessibility");
            story.tell(
                "the user presses the settings window's button for the accessibility "
                "settings");
            if (!pressSettingsAction("openUniversalAccessPref:")) {
                throw StepUnusable{
                    "settings accessibility: the settings window has no control that opens "
                    "the accessibility settings"};
            }
            break;
    }
}

void perform(const SettingsSetStatement& statement, Story& story) {
    requireSettingsOnScreen("settings set");
    story.tell("the user turns " + statement.key + (statement.on ? " on" : " off") +
               " in the settings window");
    if (!setSettingsControl(statement.key, statement.on)) {
        throw StepUnusable{"settings set: the settings window has no control for " + statement.key};
    }
}

}  // namespace sim::script
