// The simulated session: hit-testing, event taps, hiding, accessibility access and fault
// injection. Taps switched off by the platform, the workspace's record of the active
// application, accessibility hit-testing and the multiple-attribute read are checked through the
// watcher and the toolkit that use them (WatcherTests.cpp, ClickRecordTests.cpp,
// HitTestingTests.cpp); the Dock's own response to a click, quitting and a tap refused without
// access through the desktop scripts (scenarios/).
#include <RetainPtr.h>
#include <TypeCastsCF.h>
#include <TypeCastsCocoa.h>

#include <cmath>
#include <string>
#include <vector>

#include "ApplicationServices/AccessibilityInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "CoreServices/CoreServices.h"
#include "SessionTest.h"
#include "sim/Clock.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"
#include "sim/Transcript.h"
#include "sim/UTF16.h"

namespace {

using frameworks::eventSystem;
using sim::desktop;

using SimulatedSession = SessionTest;

// --- Hit-testing

TEST_F(SimulatedSession, TheDockLiesAboveEveryWindow) {
    const pid_t safari = addApp("Safari");
    desktop().addWindow(safari, "Tall", {0, 100, sim::kScreenWidth, sim::kScreenHeight - 100});
    const CGPoint item = dockItem("Safari");
    const auto hit = desktop().hitTest(item.x, item.y);
    ASSERT_TRUE(hit);
    EXPECT_EQ(desktop().node(*hit)->pid, sim::kDockPid);
    EXPECT_EQ(desktop().node(*hit)->role, u"AXDockItem");
    // Beside the Dock's items the window is on top.
    const auto beside = desktop().hitTest(5, item.y);
    ASSERT_TRUE(beside);
    EXPECT_EQ(desktop().node(*beside)->pid, safari);
}

// --- Event taps

std::vector<std::string> gSeen;

CGEventRef recordingTap(CGEventTapProxy, CGEventType type, CGEventRef event, void* name) {
    gSeen.push_back(static_cast<const char*>(name) + std::string(":") + std::to_string(type));
    return event;
}

CGEventRef swallowingTap(CGEventTapProxy, CGEventType, CGEventRef, void*) {
    return nullptr;
}

CGEventRef movingListener(CGEventTapProxy, CGEventType, CGEventRef event, void*) {
    CGEventSetLocation(event, CGPointMake(1, 1));
    return nullptr;
}

TEST_F(SimulatedSession, TapsOnTheRunLoopAndSwitchedOnSeeEventsInPlacementOrder) {
    gSeen.clear();
    RetainPtr<CFMachPortRef> loose = adoptCF(CGEventTapCreate(
        kCGHIDEventTap, kCGTailAppendEventTap, kCGEventTapOptionListenOnly,
        CGEventMaskBit(kCGEventLeftMouseDown), recordingTap, const_cast<char*>("loose")));
    InstalledTap first(recordingTap, "first");
    InstalledTap second(recordingTap, "second");
    InstalledTap head(recordingTap, "head", kCGHeadInsertEventTap);
    CGEventTapEnable(second.port.get(), false);
    frameworks::eventSystem().pressLeft(10, 10);
    EXPECT_EQ(gSeen, (std::vector<std::string>{"head:1", "first:1"}));
    CGEventTapEnable(second.port.get(), true);
    frameworks::eventSystem().pressLeft(10, 10);
    EXPECT_EQ(gSeen,
              (std::vector<std::string>{"head:1", "first:1", "head:1", "first:1", "second:1"}));
    EXPECT_EQ(frameworks::eventSystem().tapCount(), 4u);

    // An event passes the taps where it is posted and those after: the hand's press reaches the
    // session's taps after the HID's, an event posted to the session only the session's.
    RetainPtr<CFMachPortRef> sessionTap = adoptCF(CGEventTapCreate(
        kCGSessionEventTap, kCGHeadInsertEventTap, kCGEventTapOptionListenOnly,
        CGEventMaskBit(kCGEventLeftMouseDown), recordingTap, const_cast<char*>("session")));
    RetainPtr<CFRunLoopSourceRef> sessionSource =
        adoptCF(CFMachPortCreateRunLoopSource(nullptr, sessionTap.get(), 0));
    CFRunLoopAddSource(CFRunLoopGetMain(), sessionSource.get(), kCFRunLoopDefaultMode);
    gSeen.clear();
    frameworks::eventSystem().pressLeft(10, 10);
    EXPECT_EQ(gSeen, (std::vector<std::string>{"head:1", "first:1", "second:1", "session:1"}));
    gSeen.clear();
    RetainPtr<CGEventRef> posted = adoptCF(CGEventCreateMouseEvent(
        nullptr, kCGEventLeftMouseDown, CGPointMake(10, 10), kCGMouseButtonLeft));
    CGEventPost(kCGSessionEventTap, posted.get());
    EXPECT_EQ(gSeen, (std::vector<std::string>{"session:1"}));
    CFRunLoopRemoveSource(CFRunLoopGetMain(), sessionSource.get(), kCFRunLoopDefaultMode);
}

// The Dock shows a hidden application when the release reaches its item: a listener's change
// or swallowing does not keep it from there, a filter's swallowing does.
TEST_F(SimulatedSession, AListenerCannotChangeOrSwallowAnEventAFilterCanSwallowIt) {
    const pid_t safari = addApp("Safari");
    addApp("Notes");
    const CGPoint item = dockItem("Safari");
    const auto clickSafari = [&] {
        desktop().hide(safari);
        frameworks::eventSystem().pressLeft(item.x, item.y);
        frameworks::eventSystem().releaseLeft(item.x, item.y);
    };
    {
        InstalledTap listener(movingListener, nullptr, kCGHeadInsertEventTap);
        clickSafari();
        EXPECT_EQ(desktop().activePid(), safari) << "the release reached the Dock at its own point";
    }
    InstalledTap filter(swallowingTap, nullptr, kCGHeadInsertEventTap, kCGEventTapOptionDefault);
    clickSafari();
    EXPECT_TRUE(desktop().application(safari)->hidden);
}

TEST_F(SimulatedSession, ThePointerAndBothButtonStatesFollowTheHand) {
    frameworks::eventSystem().pressLeft(10, 20);
    EXPECT_TRUE(CGEventSourceButtonState(kCGEventSourceStateHIDSystemState, kCGMouseButtonLeft));
    EXPECT_TRUE(
        CGEventSourceButtonState(kCGEventSourceStateCombinedSessionState, kCGMouseButtonLeft));
    RetainPtr<CGEventRef> probe = adoptCF(CGEventCreate(nullptr));
    EXPECT_EQ(CGEventGetLocation(probe.get()).y, 20);
    frameworks::eventSystem().releaseLeft(10, 20);
    EXPECT_FALSE(CGEventSourceButtonState(kCGEventSourceStateHIDSystemState, kCGMouseButtonLeft));
}

TEST_F(SimulatedSession, PressesCountUpWithinHalfASecondAndFourPointsOfThePressBefore) {
    const struct {
        double wait;
        double x;
        double y;
        SInt64 clickState;
    } presses[] = {
        {0, 10, 10, 1},   {0.5, 13, 10, 2},  {0.1, 13, 14, 3},  // close in time and space
        {0.2, 20, 14, 1},                                       // too far
        {0.3, 20, 14, 2}, {0.51, 20, 14, 1},                    // too late
    };
    for (const auto& press : presses) {
        sim::advanceClockTo(sim::clockNow() + press.wait);
        frameworks::eventSystem().pressLeft(press.x, press.y);
        EXPECT_EQ(frameworks::eventSystem().pressClickState(), press.clickState)
            << "at " << press.x << "," << press.y << " after " << press.wait << " s";
        frameworks::eventSystem().releaseLeft(press.x, press.y);
    }
}

// The hand's keys and other buttons reach the taps whose masks ask for them, with their own
// types, key codes, flags and button numbers, and are held in both state tables.
TEST_F(SimulatedSession, KeysAndOtherButtonsReachOnlyTheTapsThatAskForThem) {
    gSeen.clear();
    InstalledTap keys(recordingTap, "keys", kCGTailAppendEventTap, kCGEventTapOptionListenOnly,
                      CGEventMaskBit(kCGEventKeyDown) | CGEventMaskBit(kCGEventFlagsChanged) |
                          CGEventMaskBit(kCGEventOtherMouseDown));
    InstalledTap left(recordingTap, "left");
    CGEventFlags flags = 0;
    SInt64 field = -1;
    std::pair<CGEventFlags*, SInt64*> read{&flags, &field};
    InstalledTap reader(
        [](CGEventTapProxy, CGEventType type, CGEventRef event, void* info) {
            auto* into = static_cast<std::pair<CGEventFlags*, SInt64*>*>(info);
            *into->first = CGEventGetFlags(event);
            *into->second = CGEventGetIntegerValueField(event, type == kCGEventKeyDown
                                                                   ? kCGKeyboardEventKeycode
                                                                   : kCGMouseEventButtonNumber);
            return event;
        },
        &read, kCGTailAppendEventTap, kCGEventTapOptionListenOnly,
        CGEventMaskBit(kCGEventKeyDown) | CGEventMaskBit(kCGEventRightMouseUp));
    frameworks::eventSystem().pressKey(55);  // command
    EXPECT_TRUE(CGEventSourceKeyState(kCGEventSourceStateHIDSystemState, 55));
    frameworks::eventSystem().pressKey(4);  // h
    EXPECT_EQ(flags, kCGEventFlagMaskCommand);
    EXPECT_EQ(field, 4);
    frameworks::eventSystem().releaseKey(4);
    frameworks::eventSystem().releaseKey(55);
    EXPECT_FALSE(CGEventSourceKeyState(kCGEventSourceStateCombinedSessionState, 55));
    frameworks::eventSystem().pressButton(kCGMouseButtonCenter, 5, 5);
    frameworks::eventSystem().releaseButton(kCGMouseButtonRight, 5, 5);
    EXPECT_EQ(field, 1);
    EXPECT_EQ(gSeen, (std::vector<std::string>{"keys:12", "keys:10", "keys:12", "keys:25"}));
}

// --- The Dock, hiding and activation

TEST_F(SimulatedSession, APressOnAWindowActivatesItsApplicationAfterTheTaps) {
    const pid_t safari = addApp("Safari");
    const pid_t notes = addApp("Notes");
    desktop().addWindow(notes, "Note", {100, 100, 300, 300});
    gSeen.clear();
    struct ActiveAtPress {
        static CGEventRef callback(CGEventTapProxy, CGEventType, CGEventRef event, void*) {
            gSeen.push_back(std::to_string(*sim::desktop().activePid()));
            return event;
        }
    };
    InstalledTap tap(ActiveAtPress::callback);
    frameworks::eventSystem().pressLeft(150, 150);
    EXPECT_EQ(gSeen, std::vector<std::string>{std::to_string(safari)});
    EXPECT_EQ(desktop().activePid(), notes);
}

// A hide request takes effect at the world's next turn, which a sleep lets come; a running
// application object reads its state as it was until then, also through a pass of the run
// loop in a mode that is not common.
TEST_F(SimulatedSession, HideRequestsTakeEffectAtTheWorldsNextTurnOrWhileTheThreadSleeps) {
    const pid_t safari = addApp("Safari");
    const pid_t notes = addApp("Notes");
    NSRunningApplication* app =
        NSRunningApplication::runningApplicationWithProcessIdentifier(safari);
    EXPECT_TRUE(app->hide());
    EXPECT_FALSE(app->isHidden());  // asynchronous
    sim::worldTurn();
    EXPECT_TRUE(app->isHidden());
    EXPECT_EQ(desktop().hideRequestCount(), 1);

    desktop().requestHide(notes);
    NSThread::sleepForTimeInterval(NAN);
    EXPECT_FALSE(desktop().application(notes)->hidden);
    NSThread::sleepForTimeInterval(0.5);
    EXPECT_TRUE(desktop().application(notes)->hidden);
    EXPECT_EQ(sim::clockNow(), 0.5);
}

TEST_F(SimulatedSession, RunningApplicationsStayAsTheyWereThroughAPassInAModeThatIsNotCommon) {
    const pid_t safari = addApp("Safari");
    const pid_t notes = addApp("Notes");
    desktop().activate(notes);
    desktop().activate(safari);
    sim::worldTurn();
    desktop().hide(safari);  // Notes becomes active
    const auto running = [](pid_t pid) {
        return NSRunningApplication::runningApplicationWithProcessIdentifier(pid);
    };
    bool ran = false;
    RetainPtr<CFRunLoopTimerRef> modal = adoptCF(CFRunLoopTimerCreateWithHandler(
        nullptr, CFAbsoluteTimeGetCurrent(), 0, 0, 0, [&](CFRunLoopTimerRef) { ran = true; }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), modal.get(), CFSTR("ModalMode"));
    CFRunLoopRunInMode(CFSTR("ModalMode"), 0, false);
    ASSERT_TRUE(ran);
    EXPECT_FALSE(running(safari)->isHidden());
    EXPECT_TRUE(running(safari)->isActive());
    sim::worldTurn();
    EXPECT_TRUE(running(safari)->isHidden());
    EXPECT_FALSE(running(safari)->isActive());
    EXPECT_TRUE(running(notes)->isActive());
}

// --- Windows that move (the hand's drags and clicks are the scenarios'; here, what a client of
// the accessibility API reads and presses)

RetainPtr<CFTypeRef> attribute(sim::NodeId node, CFStringRef name) {
    RetainPtr<AXUIElementRef> element = adoptCF(frameworks::createElement(node));
    RetainPtr<CFTypeRef> value;
    EXPECT_EQ(AXUIElementCopyAttributeValue(element.get(), name, value.initializeInto()),
              kAXErrorSuccess);
    return value;
}

TEST_F(SimulatedSession, AWindowsFrameButtonsAndMinimisedStateAreReadAndPressedThroughItsElement) {
    const pid_t safari = addApp("Safari");
    desktop().addTrash();
    const sim::NodeId window = desktop().addWindow(safari, "Page", {100, 100, 400, 300});
    auto& hand = frameworks::eventSystem();
    hand.pressLeft(300, 110);
    hand.releaseLeft(360, 140);
    CGPoint position{};
    CGSize size{};
    AXValueGetValue(static_cast<AXValueRef>(attribute(window, kAXPositionAttribute).get()),
                    kAXValueCGPointType, &position);
    AXValueGetValue(static_cast<AXValueRef>(attribute(window, kAXSizeAttribute).get()),
                    kAXValueCGSizeType, &size);
    EXPECT_EQ(position.x, 160);
    EXPECT_EQ(position.y, 130);
    EXPECT_EQ(size.width, 400);
    EXPECT_EQ(size.height, 300);

    const RetainPtr<CFTypeRef> button = attribute(window, CFSTR("AXMinimizeButton"));
    EXPECT_EQ(AXUIElementPerformAction(static_cast<AXUIElementRef>(button.get()), kAXPressAction),
              kAXErrorSuccess);
    EXPECT_EQ(attribute(window, CFSTR("AXMinimized")).get(), kCFBooleanTrue);
    std::vector<std::u16string> subroles;
    for (sim::NodeId item : desktop().dockItems()) {
        subroles.push_back(*desktop().node(item)->subrole);
    }
    EXPECT_EQ(subroles,
              (std::vector<std::u16string>{u"AXApplicationDockItem", u"AXSeparatorDockItem",
                                           u"AXMinimizedWindowDockItem", u"AXTrashDockItem"}));
    // The Dock starts again with the window's item; pressing it brings the window back.
    desktop().quit(sim::kDockPid);
    desktop().startDock();
    RetainPtr<AXUIElementRef> item =
        adoptCF(frameworks::createElement(*desktop().dockItemTitled("Page")));
    EXPECT_EQ(AXUIElementPerformAction(item.get(), kAXPressAction), kAXErrorSuccess);
    EXPECT_EQ(attribute(window, CFSTR("AXMinimized")).get(), kCFBooleanFalse);
    EXPECT_EQ(desktop().windowsOf(safari), std::vector<sim::NodeId>{window});
    EXPECT_FALSE(desktop().dockItemTitled("Page"));
}

// Each node's role, subrole and title, as the accessibility calls hand them out.
std::vector<std::string> describe(const std::vector<sim::NodeId>& nodes) {
    std::vector<std::string> described;
    for (sim::NodeId id : nodes) {
        const sim::Node& node = *desktop().node(id);
        described.push_back(sim::utf8FromUTF16(node.role) + "/" +
                            sim::utf8FromUTF16(node.subrole.value_or(u"")) + "/" +
                            sim::utf8FromUTF16(node.title.value_or(u"")));
    }
    return described;
}

// The Dock's menu, its separator and the Trash are elements with the roles macOS gives them;
// the menu lies beside the list of items the watcher reads, which keeps its shape.
TEST_F(SimulatedSession, TheDocksMenuSeparatorAndTrashCarryTheirRoles) {
    addApp("Safari");
    desktop().addTrash();
    const CGPoint item = dockItem("Safari");
    eventSystem().pressButton(kCGMouseButtonRight, item.x, item.y);
    eventSystem().releaseButton(kCGMouseButtonRight, item.x, item.y);
    using Described = std::vector<std::string>;
    const sim::Node& list = *desktop().node(desktop().node(desktop().dockItems()[0])->parent);
    EXPECT_EQ(describe(desktop().node(list.parent)->children), (Described{"AXList//", "AXMenu//"}));
    EXPECT_EQ(describe(list.children),
              (Described{"AXDockItem/AXApplicationDockItem/Safari",
                         "AXDockItem/AXSeparatorDockItem/", "AXDockItem/AXTrashDockItem/Trash"}));
    EXPECT_EQ(
        describe(desktop().node(desktop().menusOnScreen().at(0))->children),
        (Described{"AXMenuItem//Options", "AXMenuItem//", "AXMenuItem//Hide", "AXMenuItem//Quit"}));
}

// A click on a kept item of an application that does not run starts it: the item bounces for
// a second, then shows only that it runs.
TEST_F(SimulatedSession, AKeptItemBouncesWhileItsApplicationStarts) {
    sim::ApplicationSpec safari;
    safari.name = "Safari";
    const pid_t first = desktop().addApplication(safari);
    desktop().keepInDock(safari);
    desktop().quit(first);
    const CGPoint item = dockItem("Safari");
    eventSystem().pressLeft(item.x, item.y);
    eventSystem().releaseLeft(item.x, item.y);
    const auto kept = [] { return desktop().node(*desktop().dockItemTitled("Safari")); };
    EXPECT_TRUE(kept()->launching);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, sim::Desktop::kLaunchBounceSeconds / 2, false);
    EXPECT_TRUE(kept()->launching);
    EXPECT_NE(desktop().application(kept()->itemOwner), nullptr) << "the application runs";
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, sim::Desktop::kLaunchBounceSeconds / 2, false);
    EXPECT_FALSE(kept()->launching);
}

// --- Access and faults

TEST_F(SimulatedSession, WithAccessOffOrAFaultForThemAccessibilityCallsFail) {
    addApp("Safari");
    desktop().setAccessEnabled(false);
    EXPECT_FALSE(AXAPIEnabled());
    RetainPtr<AXUIElementRef> app = adoptCF(AXUIElementCreateApplication(sim::kDockPid));
    RetainPtr<CFTypeRef> value;
    EXPECT_EQ(AXUIElementCopyAttributeValue(app.get(), CFSTR("AXRole"), value.initializeInto()),
              kAXErrorAPIDisabled);
    RetainPtr<AXUIElementRef> systemWide = adoptCF(AXUIElementCreateSystemWide());
    RetainPtr<AXUIElementRef> hit;
    EXPECT_EQ(AXUIElementCopyElementAtPosition(systemWide.get(), 720, 870, hit.initializeInto()),
              kAXErrorAPIDisabled);
    desktop().setAccessEnabled(true);
    // A fault fails the chosen call for its element and attribute as often as asked.
    const sim::NodeId item = *desktop().dockItemTitled("Safari");
    sim::injectFault({.call = "AXUIElementCopyAttributeValue",
                      .status = kAXErrorCannotComplete,
                      .element = item,
                      .name = u"AXTitle",
                      .count = 1});
    RetainPtr<AXUIElementRef> element = adoptCF(frameworks::createElement(item));
    RetainPtr<CFTypeRef> title;
    EXPECT_EQ(
        AXUIElementCopyAttributeValue(element.get(), CFSTR("AXTitle"), title.initializeInto()),
        kAXErrorCannotComplete);
    title.clear();
    EXPECT_EQ(
        AXUIElementCopyAttributeValue(element.get(), CFSTR("AXTitle"), title.initializeInto()),
        kAXErrorSuccess);  // the fault was for one call only
}

}  // namespace
