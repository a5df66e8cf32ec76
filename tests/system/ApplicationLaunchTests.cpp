// The application's lifecycle where the desktop scripts cannot see it: the colours and the
// presenting of the status, the preferences stored or only registered, the login-item control
// against a refusing platform, quitting twice, and the accessibility settings pane. The
// scenarios under scenarios/ run the lifecycle end to end (launch with and without access,
// the Dock icon, reopening, the login items, quitting).
#include <CoreServices/CoreServices.h>
#include <TypeCastsCocoa.h>

#include <string>

#include "ApplicationServices/EventSystemInternal.h"
#include "ApplicationTest.h"
#include "sim/Faults.h"

namespace {

using sim::desktop;

std::string laidOutStatus(const TestBundle& bundle) {
    // The status text that the interface file lays out: what the user sees while access is off.
    const std::string file = bundle.read("Resources/MainMenu.plist");
    const std::size_t start = file.find("<key>StringValue</key>");
    const std::size_t open = file.find("<string>", start) + 8;
    return file.substr(open, file.find("</string>", open) - open);
}

// The settings window's switch bound to the preference `key`, once launched.
NSButton* switchFor(CFStringRef key) {
    for (const auto& view :
         dynamic_cast<QuenfoldAppDelegate*>(NSApp->delegate())->window()->subviews()) {
        auto* button = dynamic_objc_cast<NSButton>(view.get());
        if (button != nullptr && button->boundUserDefaultsKey() != nullptr &&
            button->boundUserDefaultsKey()->isEqualToString(key)) {
            return button;
        }
    }
    ADD_FAILURE() << "no switch for the key";
    return nullptr;
}

pid_t addAppWithWindow(const std::string& name) {
    sim::ApplicationSpec setup;
    setup.name = name;
    const pid_t pid = desktop().addApplication(setup);
    desktop().addWindow(pid, name + " window", {0, 0, sim::kScreenWidth, sim::kScreenHeight - 100});
    return pid;
}

// --- First launch

using FirstLaunch = ApplicationTest;

TEST_F(FirstLaunch, StoresOnlyTheLoginPreferenceAndShowsTheStatusInBlack) {
    launch();
    ASSERT_NE(statusField(), nullptr);
    EXPECT_EQ(statusField()->textColor(), NSColor::blackColor());
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), false);
    EXPECT_TRUE(sim::loginItems().empty());
    EXPECT_EQ(sim::systemDefault("ShowSettingsOnLaunch"), true);
    EXPECT_EQ(sim::systemDefault("HideDockIcon"), false);
    EXPECT_EQ(storedDefault("ShowSettingsOnLaunch"), std::nullopt);
    EXPECT_EQ(storedDefault("HideDockIcon"), std::nullopt);
}

// --- Accessibility access off

// The scenario launch-without-access.desk runs this launch without the settings shown at
// launch; here they are shown by the launch and presented again for the access check.
TEST_F(FirstLaunch, WithoutAccessPresentsTheSettingsAgainWithTheLaidOutStatusInRed) {
    addAppWithWindow("Safari");
    desktop().setAccessEnabled(false);
    launch();
    EXPECT_EQ(settingsOrderedFront(), 4u);
    const NSRect frame = delegate()->window()->frame();
    const auto front = desktop().hitTest(frame.origin.x + 10, frame.origin.y + 10);
    ASSERT_TRUE(front);
    EXPECT_EQ(desktop().node(*front)->pid, sim::kSystemPid);
    EXPECT_EQ(sim::settingsStatusText(), laidOutStatus(bundle_));
    EXPECT_EQ(statusField()->textColor(), NSColor::redColor());
}

// --- changeSetting:

using LoginItemControl = ApplicationTest;

TEST_F(LoginItemControl, ChangeSettingConsultsOnlyTheStoredValue) {
    launch();
    // The sender is another control: only the stored login preference counts.
    id otherControl = switchFor(CFSTR("HideDockIcon"));
    ASSERT_NE(otherControl, nullptr);
    storeDefault("LaunchAutomaticallyOnLogin", true);
    storeDefault("HideDockIcon", false);
    delegate()->changeSetting(otherControl);
    EXPECT_EQ(sim::loginItems().size(), 1u);
    storeDefault("LaunchAutomaticallyOnLogin", false);
    storeDefault("HideDockIcon", true);
    delegate()->changeSetting(otherControl);
    EXPECT_TRUE(sim::loginItems().empty());
}

// A change of the login items that the platform refuses: the preference and its switch end up
// saying what the list holds (an entry that cannot be inserted turns the switch back off, one
// that cannot be removed back on).
TEST_F(LoginItemControl, ARefusedChangeTurnsTheSwitchBack) {
    launch();
    NSButton* loginSwitch = switchFor(CFSTR("LaunchAutomaticallyOnLogin"));
    ASSERT_NE(loginSwitch, nullptr);
    sim::injectFault({.call = "LSSharedFileListInsertItemURL"});
    ASSERT_TRUE(sim::setSettingsControl("LaunchAutomaticallyOnLogin", true));
    EXPECT_TRUE(sim::loginItems().empty());
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), false);
    EXPECT_EQ(loginSwitch->state(), NSControlStateValueOff);
    sim::clearFaults();
    ASSERT_TRUE(sim::setSettingsControl("LaunchAutomaticallyOnLogin", true));
    ASSERT_EQ(sim::loginItems().size(), 1u);
    sim::injectFault({.call = "LSSharedFileListItemRemove", .status = ioErr});
    ASSERT_TRUE(sim::setSettingsControl("LaunchAutomaticallyOnLogin", false));
    EXPECT_EQ(sim::loginItems().size(), 1u);
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), true);
    EXPECT_EQ(loginSwitch->state(), NSControlStateValueOn);
}

// --- Quitting

using Quitting = ApplicationTest;

TEST_F(Quitting, IsAllowedAtOnceAndReleasesTheTapOnce) {
    launch();
    EXPECT_EQ(delegate()->applicationShouldTerminate(NSApp), NSTerminateNow);
    sim::clearTranscript();
    frameworks::terminateSystem();
    frameworks::terminateSystem();
    EXPECT_EQ(frameworks::systemState(), frameworks::SystemState::Terminated);
    EXPECT_EQ(frameworks::eventSystem().tapCount(), 0u);
    // Released once, as the process is told it ends, not when its objects go after it.
    std::string order;
    for (const sim::TranscriptLine& line : sim::transcript()) {
        order += line.text == "event tap released" ? "released " : "";
        order += line.text == "Quenfold has quit" ? "quit" : "";
    }
    EXPECT_EQ(order, "released quit");
    EXPECT_EQ(desktop().application(sim::kSystemPid), nullptr);
}

// --- The accessibility settings pane

using AccessibilityPane = ApplicationTest;

TEST_F(AccessibilityPane, OpensNothingUnlessTheSearchGivesOneFolder) {
    launch();
    for (const std::int32_t folders : {0, 2}) {
        sim::injectFault(
            {.call = "NSSearchPathForDirectoriesInDomains", .status = folders, .count = 1});
        delegate()->openUniversalAccessPref(nullptr);
    }
    EXPECT_TRUE(desktop().openedURLs().empty());
}

}  // namespace
