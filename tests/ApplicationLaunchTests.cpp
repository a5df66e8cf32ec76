// The application's lifecycle as the user meets it: the launch sequence with its preferences,
// login items, accessibility access and Dock icon; reopening; the login-item control;
// quitting; and the accessibility settings pane.
#include <CoreFoundation/CFRunLoop.h>

#include <string>

#include "ApplicationTest.h"
#include "sim/EventSystem.h"
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

TEST_F(FirstLaunch, PresentsSettingsShowsDockIconAndStoresLoginPreferenceNo) {
    launch();
    EXPECT_TRUE(sim::settingsWindowOnScreen());
    EXPECT_TRUE(systemActive());
    EXPECT_TRUE(dockIconShown());
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), false);
    EXPECT_TRUE(sim::loginItems().empty());
    EXPECT_EQ(sim::eventSystem().tapCount(), 1u);
}

TEST_F(FirstLaunch, StoresLoginPreferenceYesWhenTheListAlreadyHoldsTheApplication) {
    ASSERT_TRUE(sim::appendLoginItem({selfPath()}, nullptr));
    launch();
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), true);
    EXPECT_EQ(sim::loginItems().size(), 1u);
}

TEST_F(FirstLaunch, AccessOnShowsTheOnMessageInBlack) {
    launch();
    ASSERT_NE(statusField(), nullptr);
    EXPECT_EQ(sim::settingsStatusText(), kAccessOnMessage);
    EXPECT_EQ(statusField()->textColor(), NSColor::blackColor());
}

TEST_F(FirstLaunch, DefaultsAreRegisteredButNotStored) {
    launch();
    EXPECT_EQ(sim::systemDefault("ShowSettingsOnLaunch"), true);
    EXPECT_EQ(sim::systemDefault("HideDockIcon"), false);
    EXPECT_EQ(storedDefault("ShowSettingsOnLaunch"), std::nullopt);
    EXPECT_EQ(storedDefault("HideDockIcon"), std::nullopt);
}

// --- The stored login preference against the login-item list

using StoredLoginPreference = ApplicationTest;

TEST_F(StoredLoginPreference, FollowsTheListWhenTheEntryWasRemovedOutside) {
    storeDefault("LaunchAutomaticallyOnLogin", true);
    launch();
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), false);
    EXPECT_TRUE(sim::loginItems().empty()) << "the launch must not add the entry again";
}

// --- Accessibility access off

using AccessOff = ApplicationTest;

TEST_F(AccessOff, PresentsTheSettingsEvenWhenNotAskedToAtLaunch) {
    storeDefault("ShowSettingsOnLaunch", false);
    desktop().setAccessEnabled(false);
    launch();
    EXPECT_TRUE(sim::settingsWindowOnScreen());
    EXPECT_TRUE(systemActive());
    EXPECT_EQ(settingsOrderedFront(), 2);
    EXPECT_EQ(sim::settingsStatusText(), laidOutStatus(bundle_));
    EXPECT_EQ(statusField()->textColor(), NSColor::redColor());
}

TEST_F(AccessOff, PresentsTwiceAndEndsInFrontAndActive) {
    const pid_t safari = addAppWithWindow("Safari");
    desktop().setAccessEnabled(false);
    launch();
    EXPECT_EQ(settingsOrderedFront(), 4);
    EXPECT_TRUE(systemActive());
    const NSRect frame = delegate()->window()->frame();
    const auto front = desktop().hitTest(frame.origin.x + 10, frame.origin.y + 10);
    ASSERT_TRUE(front);
    EXPECT_EQ(desktop().node(*front)->pid, sim::kSystemPid);
    EXPECT_NE(desktop().activePid(), safari);
}

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

TEST_F(DockIcon, StaysUntilQuitWhenHiddenWhileRunning) {
    launch();
    ASSERT_TRUE(dockIconShown());
    ASSERT_TRUE(sim::setSettingsControl("HideDockIcon", true));
    EXPECT_EQ(storedDefault("HideDockIcon"), true);
    EXPECT_TRUE(dockIconShown());
    EXPECT_TRUE(desktop().dockItemTitled("Quenfold"));
}

// --- Reopening

using Reopen = ApplicationTest;

TEST_F(Reopen, PresentsTheSameWindowAgainAfterItWasClosed) {
    launch();
    NSWindow* window = delegate()->window();
    sim::closeSettingsWindow();
    ASSERT_FALSE(sim::settingsWindowOnScreen());
    sim::reopenSystem();
    EXPECT_TRUE(sim::settingsWindowOnScreen());
    EXPECT_EQ(delegate()->window(), window);
    EXPECT_EQ(desktop().windowsOf(sim::kSystemPid).size(), 1u);
}

TEST_F(Reopen, PresentsAndAnswersYesWithOrWithoutVisibleWindows) {
    addAppWithWindow("Safari");
    storeDefault("ShowSettingsOnLaunch", false);
    launch();
    ASSERT_FALSE(systemActive());
    EXPECT_TRUE(delegate()->applicationShouldHandleReopen(NSApp, false));
    EXPECT_TRUE(sim::settingsWindowOnScreen());
    EXPECT_TRUE(systemActive());
    desktop().activate(*desktop().pidNamed("Safari"));
    EXPECT_TRUE(delegate()->applicationShouldHandleReopen(NSApp, true));
    EXPECT_TRUE(systemActive());
}

// --- The login-item control and changeSetting:

using LoginItemControl = ApplicationTest;

TEST_F(LoginItemControl, CheckingStoresThenAddsAndUncheckingRemoves) {
    launch();
    ASSERT_TRUE(sim::setSettingsControl("LaunchAutomaticallyOnLogin", true));
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), true);
    ASSERT_EQ(sim::loginItems().size(), 1u);
    EXPECT_EQ(sim::loginItems().front().path, selfPath());
    ASSERT_TRUE(sim::setSettingsControl("LaunchAutomaticallyOnLogin", false));
    EXPECT_EQ(storedDefault("LaunchAutomaticallyOnLogin"), false);
    EXPECT_TRUE(sim::loginItems().empty());
}

TEST_F(LoginItemControl, ChangeSettingConsultsOnlyTheStoredValue) {
    launch();
    // The sender is another control: only the stored login preference counts.
    id otherControl = nullptr;
    for (const auto& view : delegate()->window()->subviews()) {
        auto* button = dynamic_cast<NSButton*>(view.get());
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

// --- Quitting

using Quitting = ApplicationTest;

TEST_F(Quitting, IsAllowedAtOnceAndReleasesTheTapOnce) {
    launch();
    EXPECT_EQ(delegate()->applicationShouldTerminate(NSApp), NSTerminateNow);
    sim::clearTranscript();
    sim::terminateSystem();
    sim::terminateSystem();
    EXPECT_EQ(sim::systemState(), sim::SystemState::Terminated);
    EXPECT_EQ(sim::eventSystem().tapCount(), 0u);
    int released = 0;
    for (const sim::TranscriptLine& line : sim::transcript()) {
        released += line.text == "event tap released" ? 1 : 0;
    }
    EXPECT_EQ(released, 1);
    EXPECT_EQ(desktop().application(sim::kSystemPid), nullptr);
}

TEST_F(Quitting, AReinstallScheduledBeforeQuittingNeverRuns) {
    launch();
    sim::eventSystem().disableTaps(kCGEventTapDisabledByUserInput);
    sim::terminateSystem();
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, false);
    EXPECT_EQ(sim::eventSystem().tapCount(), 0u);
}

// --- The accessibility settings pane

using AccessibilityPane = ApplicationTest;

TEST_F(AccessibilityPane, OpensTheSystemPaneFromTheSettingsWindow) {
    launch();
    ASSERT_TRUE(sim::pressSettingsAction("openUniversalAccessPref:"));
    ASSERT_EQ(desktop().openedURLs().size(), 1u);
    EXPECT_EQ(desktop().openedURLs().front(),
              "file:///System/Library/PreferencePanes/UniversalAccessPref.prefPane/");
}

TEST_F(AccessibilityPane, OpensNothingWithoutASearchPath) {
    launch();
    sim::injectFault({.call = "NSSearchPathForDirectoriesInDomains", .status = 0});
    delegate()->openUniversalAccessPref(nullptr);
    EXPECT_TRUE(desktop().openedURLs().empty());
}

TEST_F(AccessibilityPane, OpensNothingWithTwoSearchPaths) {
    launch();
    sim::injectFault({.call = "NSSearchPathForDirectoriesInDomains", .status = 2});
    delegate()->openUniversalAccessPref(nullptr);
    EXPECT_TRUE(desktop().openedURLs().empty());
}

}  // namespace
