// The application's lifecycle as the user meets it: the launch sequence with its preferences,
// accessibility access and Dock icon; reopening; the login-item control; quitting; and the
// accessibility settings pane. The scenarios under scenarios/ run the same lifecycle through
// desktop scripts (the first launch with the settings in front, the Dock icon and the tap; the
// login-item list against the stored preference, hiding the Dock icon while running, the
// login-item control turned on and off).
#include <CoreFoundation/CFRunLoop.h>
#include <CoreServices/CoreServices.h>
#include <TypeCastsCocoa.h>

#include <string>

#include "ApplicationServices/EventSystemInternal.h"
#include "ApplicationTest.h"
#include "sim/Clock.h"
#include "sim/Faults.h"

namespace {

using sim::desktop;

constexpr const char* kAccessOnMessage = "\"Enable access for assistive devices\" is ON.";

std::string laidOutStatus(const TestBundle& bundle) {
    // The status text that the interface file lays out: what the user sees while access is off.
    const std::string file = bundle.read("Resources/MainMenu.plist");
    const std::size_t start = file.find("<key>StringValue</key>");
    const std::size_t open = file.find("<string>", start) + 8;
    return file.substr(open, file.find("</string>", open) - open);
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

TEST_F(FirstLaunch, SaysAccessIsOnInBlack) {
    launch();
    ASSERT_NE(statusField(), nullptr);
    EXPECT_EQ(sim::settingsStatusText(), kAccessOnMessage);
    EXPECT_EQ(statusField()->textColor(), NSColor::blackColor());
}

TEST_F(FirstLaunch, StoresOnlyTheLoginPreferenceAndRegistersTheOthers) {
    launch();
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), false);
    EXPECT_TRUE(sim::loginItems().empty());
    EXPECT_EQ(sim::systemDefault("ShowSettingsOnLaunch"), true);
    EXPECT_EQ(sim::systemDefault("HideDockIcon"), false);
    EXPECT_EQ(storedDefault("ShowSettingsOnLaunch"), std::nullopt);
    EXPECT_EQ(storedDefault("HideDockIcon"), std::nullopt);
}

// --- Accessibility access off

// A launch while another application is in front, with the settings shown at launch or not.
class AccessOff : public ApplicationTest, public ::testing::WithParamInterface<bool> {
protected:
    void launchWithAccessOff() {
        addAppWithWindow("Safari");
        storeDefault("ShowSettingsOnLaunch", GetParam());
        desktop().setAccessEnabled(false);
        launch();
    }
};

TEST_P(AccessOff, PresentsTheSettingsInFrontAndActive) {
    launchWithAccessOff();
    EXPECT_TRUE(sim::settingsWindowOnScreen());
    EXPECT_TRUE(systemActive());
    // Presented for the access check even when the launch showed them already.
    EXPECT_EQ(settingsOrderedFront(), GetParam() ? 4u : 2u);
    const NSRect frame = delegate()->window()->frame();
    const auto front = desktop().hitTest(frame.origin.x + 10, frame.origin.y + 10);
    ASSERT_TRUE(front);
    EXPECT_EQ(desktop().node(*front)->pid, sim::kSystemPid);
}

TEST_P(AccessOff, SaysSoWithTheLaidOutStatusInRed) {
    launchWithAccessOff();
    EXPECT_EQ(sim::settingsStatusText(), laidOutStatus(bundle_));
    EXPECT_EQ(statusField()->textColor(), NSColor::redColor());
}

TEST_P(AccessOff, HoldsNoTapSinceTheTapNeedsAccess) {
    launchWithAccessOff();
    EXPECT_EQ(frameworks::eventSystem().tapCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(SettingsOnLaunch, AccessOff, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) -> std::string {
                             return info.param ? "Shown" : "NotShown";
                         });

// --- The Dock icon

using DockIcon = ApplicationTest;

TEST_F(DockIcon, HiddenIconAndNoSettingsShowNothingButPrepareTheStatus) {
    storeDefault("ShowSettingsOnLaunch", false);
    storeDefault("HideDockIcon", true);
    launch();
    EXPECT_FALSE(sim::settingsWindowOnScreen());
    EXPECT_FALSE(dockIconShown());
    EXPECT_FALSE(systemActive());
    EXPECT_FALSE(desktop().dockItemTitled("Quenfold"));
    EXPECT_EQ(sim::settingsStatusText(), kAccessOnMessage);
    EXPECT_EQ(statusField()->textColor(), NSColor::blackColor());
}

// --- Reopening

using Reopen = ApplicationTest;

TEST_F(Reopen, PresentsTheOneSettingsWindowAndAnswersYesWithOrWithoutVisibleWindows) {
    const pid_t safari = addAppWithWindow("Safari");
    storeDefault("ShowSettingsOnLaunch", false);
    launch();
    ASSERT_FALSE(systemActive());
    NSWindow* window = delegate()->window();
    frameworks::reopenSystem();
    EXPECT_TRUE(sim::settingsWindowOnScreen());
    EXPECT_TRUE(systemActive());
    sim::closeSettingsWindow();
    desktop().activate(safari);
    EXPECT_TRUE(delegate()->applicationShouldHandleReopen(NSApp, false));
    EXPECT_TRUE(sim::settingsWindowOnScreen());
    EXPECT_TRUE(systemActive());
    desktop().activate(safari);
    EXPECT_TRUE(delegate()->applicationShouldHandleReopen(NSApp, true));
    EXPECT_TRUE(systemActive());
    EXPECT_EQ(delegate()->window(), window);
    EXPECT_EQ(desktop().windowsOf(sim::kSystemPid).size(), 1u);
}

// A click on the system's own Dock item: the Dock asks it to reopen.
class ReopenFromTheDock : public ApplicationTest {
protected:
    void SetUp() override {
        ApplicationTest::SetUp();
        addAppWithWindow("Safari");
        storeDefault("ShowSettingsOnLaunch", false);
        launch();
    }
    // The run loop turns between the hand's events and after them, as on macOS.
    static void clickItem() {
        const CGPoint item = dockItem("Quenfold");
        sim::settle();
        frameworks::eventSystem().pressLeft(item.x, item.y);
        sim::settle();
        frameworks::eventSystem().releaseLeft(item.x, item.y);
        sim::settle();
    }
};

TEST_F(ReopenFromTheDock, PresentsTheSettingsWindowWhenAnotherApplicationWasActive) {
    ASSERT_FALSE(systemActive());
    clickItem();
    EXPECT_TRUE(sim::settingsWindowOnScreen());
    EXPECT_TRUE(systemActive());
    EXPECT_EQ(desktop().hideRequestCount(), 0);
}

// The system active at the press: the watcher asks it to hide, and the reopen handled after
// the hide shows it again with its settings window.
TEST_F(ReopenFromTheDock, PresentsTheSettingsWindowAfterTheHideTheWatcherAsked) {
    clickItem();
    sim::closeSettingsWindow();
    ASSERT_TRUE(systemActive());
    // A second later: two clicks on one item at once would be a double click.
    sim::advanceClockTo(sim::clockNow() + 1);
    clickItem();
    EXPECT_EQ(desktop().hideRequestCount(), 1);
    EXPECT_FALSE(desktop().application(sim::kSystemPid)->hidden);
    EXPECT_TRUE(systemActive());
    EXPECT_TRUE(sim::settingsWindowOnScreen());
}

// --- changeSetting:

using LoginItemControl = ApplicationTest;

TEST_F(LoginItemControl, ChangeSettingConsultsOnlyTheStoredValue) {
    launch();
    // The sender is another control: only the stored login preference counts.
    id otherControl = nullptr;
    for (const auto& view : delegate()->window()->subviews()) {
        auto* button = dynamic_objc_cast<NSButton>(view.get());
        if (button != nullptr && button->boundUserDefaultsKey() != nullptr &&
            button->boundUserDefaultsKey()->isEqualToString(CFSTR("HideDockIcon"))) {
            otherControl = button;
        }
    }
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
// saying what the list holds.
class RefusedLoginItemChange : public ApplicationTest {
protected:
    void SetUp() override {
        ApplicationTest::SetUp();
        launch();
    }
    static NSControlStateValue switchState() {
        for (const auto& view : delegate()->window()->subviews()) {
            auto* button = dynamic_objc_cast<NSButton>(view.get());
            if (button != nullptr && button->boundUserDefaultsKey() != nullptr &&
                button->boundUserDefaultsKey()->isEqualToString(
                    CFSTR("LaunchAutomaticallyOnLogin"))) {
                return button->state();
            }
        }
        ADD_FAILURE() << "no switch for LaunchAutomaticallyOnLogin";
        return -1;
    }
};

TEST_F(RefusedLoginItemChange, AnEntryThatCannotBeInsertedTurnsTheSwitchBackOff) {
    sim::injectFault({.call = "LSSharedFileListInsertItemURL"});
    ASSERT_TRUE(sim::setSettingsControl("LaunchAutomaticallyOnLogin", true));
    EXPECT_TRUE(sim::loginItems().empty());
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), false);
    EXPECT_EQ(switchState(), NSControlStateValueOff);
}

TEST_F(RefusedLoginItemChange, AnEntryThatCannotBeRemovedTurnsTheSwitchBackOn) {
    ASSERT_TRUE(sim::setSettingsControl("LaunchAutomaticallyOnLogin", true));
    ASSERT_EQ(sim::loginItems().size(), 1u);
    sim::injectFault({.call = "LSSharedFileListItemRemove", .status = ioErr});
    ASSERT_TRUE(sim::setSettingsControl("LaunchAutomaticallyOnLogin", false));
    EXPECT_EQ(sim::loginItems().size(), 1u);
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), true);
    EXPECT_EQ(switchState(), NSControlStateValueOn);
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
    int released = 0;
    for (const sim::TranscriptLine& line : sim::transcript()) {
        released += line.text == "event tap released" ? 1 : 0;
    }
    EXPECT_EQ(released, 1);
    EXPECT_EQ(desktop().application(sim::kSystemPid), nullptr);
}

TEST_F(Quitting, AReinstallScheduledBeforeQuittingNeverRuns) {
    launch();
    frameworks::eventSystem().disableTaps(kCGEventTapDisabledByUserInput);
    frameworks::terminateSystem();
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, false);
    EXPECT_EQ(frameworks::eventSystem().tapCount(), 0u);
}

// --- The accessibility settings pane

using AccessibilityPane = ApplicationTest;

TEST_F(AccessibilityPane, OpensTheSystemPane) {
    launch();
    ASSERT_TRUE(sim::pressSettingsAction("openUniversalAccessPref:"));
    EXPECT_EQ(desktop().openedURLs(),
              std::vector<std::string>{
                  "file:///System/Library/PreferencePanes/UniversalAccessPref.prefPane/"});
}

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
