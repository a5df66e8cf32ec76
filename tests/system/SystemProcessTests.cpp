// The session's control of the system's process: launching from the bundle's Info.plist and
// interface file, and the settings window's controls under the user's hand. Launching again
// after a quit, and a control set to the value it shows, run end to end in scenarios/.
#include <string>

#include "ApplicationServices/EventSystemInternal.h"
#include "ApplicationTest.h"

namespace {

using sim::desktop;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// --- Launching from the bundle

using SystemLaunch = ApplicationTest;

TEST_F(SystemLaunch, AMissingInfoPlistIsReportedAndNothingStarts) {
    bundle_.remove("Info.plist");
    std::string error;
    EXPECT_FALSE(frameworks::launchSystem(&error));
    EXPECT_NE(error.find("Contents/Info.plist: the file does not exist"), std::string::npos)
        << error;
    EXPECT_EQ(frameworks::systemState(), frameworks::SystemState::NotLaunched);
    EXPECT_EQ(frameworks::eventSystem().tapCount(), 0u);
}

TEST_F(SystemLaunch, AnInfoPlistWithoutTheInterfaceFileIsReported) {
    bundle_.write("Info.plist", replaced(bundle_.read("Info.plist"), "NSMainNibFile", "Other"));
    std::string error;
    EXPECT_FALSE(frameworks::launchSystem(&error));
    EXPECT_NE(error.find("NSMainNibFile"), std::string::npos) << error;
}

TEST_F(SystemLaunch, ABrokenInterfaceFileIsReportedAndNothingIsConnected) {
    bundle_.write("Resources/MainMenu.plist",
                  replaced(bundle_.read("Resources/MainMenu.plist"), "changeSetting:", "change:"));
    std::string error;
    EXPECT_FALSE(frameworks::launchSystem(&error));
    EXPECT_NE(error.find("MainMenu.plist: Connections[3]: \"delegate\" does not respond to "
                         "\"change:\""),
              std::string::npos)
        << error;
    EXPECT_EQ(NSApplication::sharedApplication()->delegate(), nullptr);
    EXPECT_TRUE(desktop().windowsOf(sim::kSystemPid).empty());
    EXPECT_EQ(frameworks::systemState(), frameworks::SystemState::NotLaunched);
}

TEST_F(SystemLaunch, AnApplicationThatIsNoAgentHasItsDockIconFromTheStart) {
    bundle_.write("Info.plist", replaced(bundle_.read("Info.plist"), "<key>LSUIElement</key>",
                                         "<key>Other</key>"));
    storeDefault("HideDockIcon", true);
    launch();
    EXPECT_TRUE(dockIconShown());
}

// --- The settings window's controls

using SettingsControls = ApplicationTest;

// Unknown controls and actions are refused; closing hides the window and keeps its status and
// its controls until it is shown again.
TEST_F(SettingsControls, UnknownControlsAreRefusedAndClosingKeepsTheStatusAndControls) {
    launch();
    EXPECT_FALSE(sim::setSettingsControl("NoSuchKey", true));
    EXPECT_FALSE(sim::pressSettingsAction("noSuchAction:"));
    const std::string status = sim::settingsStatusText();
    sim::closeSettingsWindow();
    EXPECT_FALSE(sim::settingsWindowOnScreen());
    EXPECT_EQ(sim::settingsStatusText(), status);
    EXPECT_FALSE(sim::setSettingsControl("HideDockIcon", true));
    EXPECT_FALSE(sim::pressSettingsAction("openUniversalAccessPref:"));
    EXPECT_EQ(storedDefault("HideDockIcon"), std::nullopt);
    EXPECT_TRUE(desktop().openedURLs().empty());
}

TEST_F(SettingsControls, TheWindowDescribesItsViewsAsTheInterfaceFileLaysThemOut) {
    EXPECT_EQ(sim::settingsWindowTitle(), "");
    EXPECT_TRUE(sim::settingsWindowViews().empty());

    desktop().setAccessEnabled(false);
    launch();
    EXPECT_EQ(sim::settingsWindowTitle(), "Quenfold Settings");
    const std::vector<sim::SettingsView> views = sim::settingsWindowViews();
    ASSERT_EQ(views.size(), 5u);
    using Kind = sim::SettingsView::Kind;
    // With access off the status field keeps its laid-out text and colour.
    EXPECT_EQ(views[0].kind, Kind::Text);
    EXPECT_EQ(views[0].identifier, "status");
    EXPECT_EQ(views[0].text, sim::settingsStatusText());
    EXPECT_NE(views[0].text.find("is OFF"), std::string::npos);
    EXPECT_EQ(views[0].color, "#ff0000");
    EXPECT_EQ(views[1].kind, Kind::Button);
    EXPECT_EQ(views[1].action, "openUniversalAccessPref:");
    EXPECT_EQ(views[1].text, "Open Accessibility Settings…");
    EXPECT_EQ((std::vector<double>{views[1].x, views[1].y, views[1].width, views[1].height}),
              (std::vector<double>{20, 64, 240, 28}));
    const std::vector<std::string> keys{"LaunchAutomaticallyOnLogin", "ShowSettingsOnLaunch",
                                        "HideDockIcon"};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(views[2 + i].kind, Kind::Switch);
        EXPECT_EQ(views[2 + i].key, keys[i]);
        EXPECT_TRUE(views[2 + i].color.empty());
    }
    // Only the login switch tells the delegate; the other two only store their value.
    EXPECT_EQ(views[2].action, "changeSetting:");
    EXPECT_EQ(views[3].action, "");
}

}  // namespace
