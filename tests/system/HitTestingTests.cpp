// The system-wide element and the hit-test operations of the toolkit.
#include <RetainPtr.h>

#include "ApplicationServices/AccessibilityInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "SystemTest.h"
#include "sim/Faults.h"

namespace {

using sim::desktop;

class HitTesting : public SystemTest {
protected:
    pid_t addApp(const std::string& name, const std::string& bundle = "") {
        sim::ApplicationSpec setup;
        setup.name = name;
        if (!bundle.empty()) {
            setup.bundleIdentifier = bundle;
        }
        return desktop().addApplication(setup);
    }

    // Starts over as a fresh process would: no system-wide element yet. The fixture's
    // baseline counts the element it made, so one must exist again when the test ends.
    void forgetSystemWideElement() {
        CFRelease(_systemWideElement);
        _systemWideElement = nullptr;
        sim::resetCallCounts();
    }

    static std::optional<sim::NodeId> nodeOf(const RetainPtr<AXUIElementRef>& element) {
        return element ? frameworks::nodeOf(element.get()) : std::nullopt;
    }
};

TEST_F(HitTesting, TheSystemWideElementIsMadeOnceAndKept) {
    forgetSystemWideElement();
    set_systemWideElement();
    AXUIElementRef first = _systemWideElement;
    set_systemWideElement();
    EXPECT_EQ(_systemWideElement, first);
    EXPECT_TRUE(frameworks::isSystemWide(first));
    EXPECT_EQ(sim::callCount("AXUIElementCreateSystemWide"), 1u);
}

TEST_F(HitTesting, CopyAtXYWorksOnAFreshProcess) {
    const pid_t safari = addApp("Safari");
    const sim::NodeId window = desktop().addWindow(safari, "Start");
    forgetSystemWideElement();
    RetainPtr<AXUIElementRef> element = adoptCF(copyUIElementAtXY(300, 200));
    EXPECT_NE(_systemWideElement, nullptr);
    EXPECT_EQ(nodeOf(element), window);
}

TEST_F(HitTesting, OperationsThatDoNotMakeTheElementAnswerNoneBeforeIt) {
    addApp("Safari");
    const CGPoint item = middleOf(*desktop().dockItemTitled("Safari"));
    forgetSystemWideElement();
    EXPECT_EQ(copyUIElementAtXYWithUIElement(item.x, item.y), nullptr);
    EXPECT_EQ(copyUIElementAtXYByWithBundleIdentifier(item.x, item.y, CFSTR("com.apple.dock")),
              nullptr);
    EXPECT_EQ(_systemWideElement, nullptr);
    EXPECT_EQ(sim::callCount("AXUIElementCopyElementAtPosition"), 0u);
    set_systemWideElement();
    RetainPtr<AXUIElementRef> found = adoptCF(copyUIElementAtXYWithUIElement(item.x, item.y));
    EXPECT_EQ(nodeOf(found), desktop().dockItemTitled("Safari"));
}

TEST_F(HitTesting, ByBundleIdentifierAnswersNoneWithoutARunningApplicationOfIt) {
    const pid_t safari = addApp("Safari");
    desktop().addWindow(safari, "Start");
    sim::resetCallCounts();
    EXPECT_EQ(copyUIElementAtXYByWithBundleIdentifier(300, 200, CFSTR("org.example.none")),
              nullptr);
    EXPECT_EQ(sim::callCount("AXUIElementCopyElementAtPosition"), 0u);
}

TEST_F(HitTesting, ByBundleIdentifierFindsWhateverIsTopmostOnceTheApplicationElementIsMade) {
    const pid_t safari = addApp("Safari");
    const sim::NodeId window = desktop().addWindow(safari, "Start");
    sim::resetCallCounts();
    // With the Dock's identifier the element found is a window of Safari.
    RetainPtr<AXUIElementRef> element =
        adoptCF(copyUIElementAtXYByWithBundleIdentifier(300, 200, CFSTR("com.apple.dock")));
    EXPECT_EQ(nodeOf(element), window);
    // The application element is only a gate: made once and released.
    EXPECT_EQ(sim::callCount("AXUIElementCreateApplication"), 1u);
}

TEST_F(HitTesting, ByBundleIdentifierNeedsNoPoolOfTheCallers) {
    const pid_t safari = addApp("Safari");
    const sim::NodeId window = desktop().addWindow(safari, "Start");
    pool_.reset();
    const long before = NSObjectLiveCount();
    RetainPtr<AXUIElementRef> element =
        adoptCF(copyUIElementAtXYByWithBundleIdentifier(300, 200, CFSTR("com.apple.dock")));
    EXPECT_EQ(nodeOf(element), window);
    element.clear();
    EXPECT_EQ(NSObjectLiveCount(), before) << "its temporaries went with a pool of its own";
}

TEST_F(HitTesting, OnlyTheFirstApplicationOfABundleIdentifierIsConsulted) {
    addApp("Editor", "org.example.editor");
    const pid_t second = addApp("Editor Two", "org.example.editor");
    desktop().addWindow(second, "Document");
    // The first application answers -1 for its identifier: nothing is found, although the
    // second one would have answered.
    sim::injectFault({.call = "processIdentifier", .count = 1});
    EXPECT_EQ(copyUIElementAtXYByWithBundleIdentifier(300, 200, CFSTR("org.example.editor")),
              nullptr);
    RetainPtr<AXUIElementRef> found =
        adoptCF(copyUIElementAtXYByWithBundleIdentifier(300, 200, CFSTR("org.example.editor")));
    EXPECT_TRUE(found);
}

TEST_F(HitTesting, ByBundleIdentifierAnswersNoneWhenTheApplicationElementCannotBeMade) {
    addApp("Safari");
    const CGPoint item = middleOf(*desktop().dockItemTitled("Safari"));
    sim::injectFault({.call = "AXUIElementCreateApplication"});
    EXPECT_EQ(copyUIElementAtXYByWithBundleIdentifier(item.x, item.y, CFSTR("com.apple.dock")),
              nullptr);
}

TEST_F(HitTesting, EveryFailureOfTheHitTestIsNone) {
    addApp("Safari");
    const CGPoint item = middleOf(*desktop().dockItemTitled("Safari"));
    EXPECT_EQ(copyUIElementAtXY(10, 10), nullptr);  // nothing there
    sim::injectFault(
        {.call = "AXUIElementCopyElementAtPosition", .status = kAXErrorCannotComplete, .count = 1});
    EXPECT_EQ(copyUIElementAtXY(item.x, item.y), nullptr);
    desktop().setAccessEnabled(false);
    EXPECT_EQ(copyUIElementAtXY(item.x, item.y), nullptr);
    desktop().setAccessEnabled(true);
    RetainPtr<AXUIElementRef> found = adoptCF(copyUIElementAtXY(item.x, item.y));
    EXPECT_TRUE(found);
}

TEST_F(HitTesting, AtMouseTestsThePointerPosition) {
    addApp("Safari");
    const CGPoint item = middleOf(*desktop().dockItemTitled("Safari"));
    frameworks::eventSystem().pressLeft(item.x, item.y);
    RetainPtr<AXUIElementRef> found = adoptCF(copyUIElementAtMouse());
    EXPECT_EQ(nodeOf(found), desktop().dockItemTitled("Safari"));
}

TEST_F(HitTesting, AtMouseWithoutAnEventToReadThePointerFromAnswersNone) {
    addApp("Safari");
    const CGPoint item = middleOf(*desktop().dockItemTitled("Safari"));
    frameworks::eventSystem().pressLeft(item.x, item.y);
    sim::injectFault({.call = "CGEventCreate"});
    EXPECT_EQ(copyUIElementAtMouse(), nullptr);
}

TEST_F(HitTesting, WithProcessNameAlwaysAnswersNone) {
    const pid_t safari = addApp("Safari");
    desktop().addWindow(safari, "Start");
    sim::resetCallCounts();
    EXPECT_EQ(copyUIElementAtXYWithProcessName(300, 200, CFSTR("Safari")), nullptr);
    EXPECT_EQ(copyUIElementAtXYWithProcessName(-1, 1e9f, nullptr), nullptr);
    EXPECT_TRUE(sim::callCounts().empty());
}

TEST_F(HitTesting, MessagingTimeoutPassesThePlatformAnswerOn) {
    forgetSystemWideElement();
    EXPECT_EQ(setAXUIElementSetMessagingTimeout(2.5f), kAXErrorSuccess);
    EXPECT_NE(_systemWideElement, nullptr);
    EXPECT_FLOAT_EQ(frameworks::messagingTimeout(), 2.5f);
    EXPECT_EQ(setAXUIElementSetMessagingTimeout(-1.0f), kAXErrorIllegalArgument);
    EXPECT_FLOAT_EQ(frameworks::messagingTimeout(), 2.5f);
}

}  // namespace
