// The session's control of the system's process: launching from the bundle's Info.plist and
// interface file, launching once, and the settings window's controls under the user's hand.
#include <string>

#include "ApplicationTest.h"
#include "sim/EventSystem.h"

namespace {

using sim::desktop;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// --- Launching from the bundle

using SystemLaunch = ApplicationTest;

TEST_F(SystemLaunch, LaunchesOnceASession) {
    launch();
    std::string error;
    EXPECT_FALSE(sim::launchSystem(&error));
    EXPECT_EQ(error, "the system is running already");
    sim::terminateSystem();
    EXPECT_FALSE(sim::launchSystem(&error));
    EXPECT_EQ(sim::systemState(), sim::SystemState::Terminated);
}

TEST_F(SystemLaunch, AMissingInfoPlistIsReportedAndNothingStarts) {
    bundle_.remove("Info.plist");
    std::string error;
    EXPECT_FALSE(sim::launchSystem(&error));
    EXPECT_NE(error.find("Contents/Info.plist: the file does not exist"), std::string::npos)
        << error;
    EXPECT_EQ(sim::systemState(), sim::SystemState::NotLaunched);
    EXPECT_EQ(sim::eventSystem().tapCount(), 0u);
}

TEST_F(SystemLaunch, AnInfoPlistWithoutTheInterfaceFileIsReported) {
    bundle_.write("Info.plist", replaced(bundle_.read("Info.plist"), "NSMainNibFile", "Other"));
    std::string error;
    EXPECT_FALSE(sim::launchSystem(&error));
    EXPECT_NE(error.find("NSMainNibFile"), std::string::npos) << error;
}

TEST_F(SystemLaunch, ABrokenInterfaceFileIsReportedAndNothingIsConnected) {
    bundle_.write("Resources/MainMenu.plist",
                  replaced(bundle_.read("Resources/MainMenu.plist"), "changeSetting:", "change:"));
    std::string error;
    EXPECT_FALSE(sim::launchSystem(&error));
    EXPECT_NE(error.find("MainMenu.plist: Connections[3]: \"delegate\" does not respond to "
                         "\"change:\""),
              std::string::npos)
        << error;
    EXPECT_EQ(NSApplication::sharedApplication()->delegate(), nullptr);
    EXPECT_TRUE(desktop().windowsOf(sim::kSystemPid).empty());
    EXPECT_EQ(sim::systemState(), sim::SystemState::NotLaunched);
}

TEST_F(SystemLaunch, AnApplicationThatIsNoAgentHasItsDockIconFromTheStart) {
    bundle_.write("Info.plist", replaced(bundle_.read("Info.plist"), "<key>LSUIElement</key>",
                                         "<key>Other</key>"));
    storeDefault("HideDockIcon", true);
    launch();
    EXPECT_TRUE(dockIconShown());
}

TEST_F(SystemLaunch, ResetLeavesAProcessThatHasNotLaunched) {
    launch();
    sim::reset();
    EXPECT_EQ(sim::systemState(), sim::SystemState::NotLaunched);
    EXPECT_EQ(NSApp, nullptr);
    EXPECT_FALSE(sim::settingsWindowOnScreen());
    launch();
    EXPECT_TRUE(sim::settingsWindowOnScreen());
}

// --- The settings window's controls

using SettingsControls = ApplicationTest;

TEST_F(SettingsControls, SettingTheValueShownStoresNothingAndAnotherValueIsStored) {
    launch();
    ASSERT_TRUE(sim::setSettingsControl("ShowSettingsOnLaunch", true));
    EXPECT_EQ(storedDefault("ShowSettingsOnLaunch"), std::nullopt);
    ASSERT_TRUE(sim::setSettingsControl("ShowSettingsOnLaunch", false));
    EXPECT_EQ(storedDefault("ShowSettingsOnLaunch"), false);
}

TEST_F(SettingsControls, UnknownControlsAndActionsAreRefused) {
    launch();
    EXPECT_FALSE(sim::setSettingsControl("NoSuchKey", true));
    EXPECT_FALSE(sim::pressSettingsAction("noSuchAction:"));
}

TEST_F(SettingsControls, ClosingHidesTheWindowAndKeepsItsStatusAndItsControlsUntilShownAgain) {
    launch();
    const std::string status = sim::settingsStatusText();
    sim::closeSettingsWindow();
    EXPECT_FALSE(sim::settingsWindowOnScreen());
    EXPECT_EQ(sim::settingsStatusText(), status);
    EXPECT_FALSE(sim::setSettingsControl("HideDockIcon", true));
    EXPECT_FALSE(sim::pressSettingsAction("openUniversalAccessPref:"));
    EXPECT_EQ(storedDefault("HideDockIcon"), std::nullopt);
    EXPECT_TRUE(desktop().openedURLs().empty());
}

}  // namespace
