// The hit-test operations of the toolkit. The system-wide element they use is made once for the
// process: one made at every call would be left alive, which every fixture of the system finds.
#include <RetainPtr.h>

#include "ApplicationServices/AccessibilityInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "SystemTest.h"
#include "sim/Faults.h"

namespace {

using sim::desktop;

class HitTesting : public SystemTest {
protected:
    static std::optional<sim::NodeId> nodeOf(const RetainPtr<AXUIElementRef>& element) {
        return element ? frameworks::nodeOf(element.get()) : std::nullopt;
    }
};

// Without a running application of the identifier, or when its element cannot be made, nothing
// is found, and no hit-test is made.
TEST_F(HitTesting, ByBundleIdentifierAnswersNoneWithoutTheApplicationOrItsElement) {
    const pid_t safari = addApp("Safari");
    desktop().addWindow(safari, "Start");
    sim::resetCallCounts();
    EXPECT_EQ(copyUIElementAtXYByWithBundleIdentifier(300, 200, CFSTR("org.example.none")),
              nullptr);
    sim::injectFault({.call = "AXUIElementCreateApplication"});
    EXPECT_EQ(copyUIElementAtXYByWithBundleIdentifier(300, 200, CFSTR("com.apple.dock")), nullptr);
    EXPECT_EQ(sim::callCount("AXUIElementCopyElementAtPosition"), 0u);
}

// Without a pool of the caller's: its temporaries go with a pool of its own.
TEST_F(HitTesting, ByBundleIdentifierFindsWhateverIsTopmostOnceTheApplicationElementIsMade) {
    const pid_t safari = addApp("Safari");
    const sim::NodeId window = desktop().addWindow(safari, "Start");
    pool_.reset();
    const long before = NSObjectLiveCount();
    sim::resetCallCounts();
    // With the Dock's identifier the element found is a window of Safari.
    RetainPtr<AXUIElementRef> element =
        adoptCF(copyUIElementAtXYByWithBundleIdentifier(300, 200, CFSTR("com.apple.dock")));
    EXPECT_EQ(nodeOf(element), window);
    // The application element is only a gate: made once and released.
    EXPECT_EQ(sim::callCount("AXUIElementCreateApplication"), 1u);
    element.clear();
    EXPECT_EQ(NSObjectLiveCount(), before);
}

TEST_F(HitTesting, OnlyTheFirstApplicationOfABundleIdentifierIsConsulted) {
    sim::ApplicationSpec editor;
    editor.name = "Editor";
    editor.bundleIdentifier = "org.example.editor";
    desktop().addApplication(editor);
    editor.name = "Editor Two";
    const pid_t second = desktop().addApplication(editor);
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

// Without an event to read the pointer from, nothing is found.
TEST_F(HitTesting, AtMouseTestsThePointerPositionOrAnswersNone) {
    addApp("Safari");
    const CGPoint item = middleOf(*desktop().dockItemTitled("Safari"));
    frameworks::eventSystem().pressLeft(item.x, item.y);
    RetainPtr<AXUIElementRef> found = adoptCF(copyUIElementAtMouse());
    EXPECT_EQ(nodeOf(found), desktop().dockItemTitled("Safari"));
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
    EXPECT_EQ(setAXUIElementSetMessagingTimeout(2.5f), kAXErrorSuccess);
    EXPECT_FLOAT_EQ(frameworks::messagingTimeout(), 2.5f);
    EXPECT_EQ(setAXUIElementSetMessagingTimeout(-1.0f), kAXErrorIllegalArgument);
    EXPECT_FLOAT_EQ(frameworks::messagingTimeout(), 2.5f);
}

}  // namespace
