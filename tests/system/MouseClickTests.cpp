// The synthetic mouse click: button and modifier words, the click count, the hold on the
// session's clock, and events that cannot be made. The watcher listens to the left button's press
// and release only and hides on them (WatcherTests.cpp): those are the events checked here.
#include <RetainPtr.h>

#include <climits>
#include <cmath>
#include <tuple>
#include <vector>

#include "ApplicationServices/EventSystemInternal.h"
#include "SystemTest.h"
#include "sim/Clock.h"
#include "sim/Faults.h"

namespace {

struct PostedEvent {
    CGEventType type;
    CGPoint location;
    SInt64 clickState;
    CGEventFlags flags;
    SInt64 button;
    double time;
};
std::vector<PostedEvent> gPosted;

CGEventRef recordPosted(CGEventTapProxy, CGEventType type, CGEventRef event, void*) {
    gPosted.push_back(
        {type, CGEventGetLocation(event),
         CGEventGetIntegerValueField(event, kCGMouseEventClickState), CGEventGetFlags(event),
         CGEventGetIntegerValueField(event, kCGMouseEventButtonNumber), sim::clockNow()});
    return event;
}

// A listen-only tap on the main run loop that records every button event posted.
class MouseClick : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        gPosted.clear();
        CGEventMask mask = 0;
        for (CGEventType type :
             {kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGEventRightMouseDown,
              kCGEventRightMouseUp, kCGEventOtherMouseDown, kCGEventOtherMouseUp}) {
            mask |= CGEventMaskBit(type);
        }
        tap_.emplace(recordPosted, nullptr, kCGTailAppendEventTap, kCGEventTapOptionListenOnly,
                     mask);
    }
    void TearDown() override {
        tap_.reset();
        SystemTest::TearDown();
    }

    std::optional<InstalledTap> tap_;
};

// A word as the toolkit is handed it; nullptr for none.
RetainPtr<CFStringRef> word(const char* text) {
    return text != nullptr ? adoptCF<CFStringRef>(NSString::createWithUTF8(text)) : nullptr;
}

TEST_F(MouseClick, TheButtonWordChoosesTheEventsExactlyAndTheCountGoesOnThePress) {
    const std::tuple<const char*, CGEventType, CGEventType, SInt64> words[] = {
        {"right", kCGEventRightMouseDown, kCGEventRightMouseUp, kCGMouseButtonRight},
        {"middle", kCGEventOtherMouseDown, kCGEventOtherMouseUp, kCGMouseButtonCenter},
        {"Right", kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGMouseButtonLeft},
        {"", kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGMouseButtonLeft},
        {nullptr, kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGMouseButtonLeft},
    };
    for (const auto& [text, press, release, button] : words) {
        gPosted.clear();
        EXPECT_EQ(mouseClick(100.5f, 200.25f, word(text).get(), 1, nullptr, 0), 0);
        ASSERT_EQ(gPosted.size(), 2u);
        EXPECT_EQ(gPosted[0].type, press) << (text ? text : "none");
        EXPECT_EQ(gPosted[1].type, release) << (text ? text : "none");
        for (const PostedEvent& event : gPosted) {
            EXPECT_EQ(event.button, button);
            EXPECT_EQ(event.location.x, 100.5);
            EXPECT_EQ(event.location.y, 200.25);
        }
    }
    // One press and one release whatever the count, which goes on the press sign-extended.
    for (const std::int32_t count : {3, -1, INT_MIN}) {
        gPosted.clear();
        mouseClick(10, 10, nullptr, count, nullptr, 0);
        ASSERT_EQ(gPosted.size(), 2u);
        EXPECT_EQ(gPosted[0].clickState, static_cast<SInt64>(count));
        EXPECT_EQ(gPosted[1].clickState, 1);
    }
}

// The release keeps what creation gave it: the flags held.
TEST_F(MouseClick, ModifierWordsReplaceThePressFlagsOnly) {
    const std::pair<const char*, CGEventFlags> words[] = {
        {"Control+OPTION", kCGEventFlagMaskControl | kCGEventFlagMaskAlternate},
        {"optioncontrol", kCGEventFlagMaskControl | kCGEventFlagMaskAlternate},
        {"shift, Command", kCGEventFlagMaskShift | kCGEventFlagMaskCommand},
        {"cmd ctrl alt", 0},
        {"", 0},
        {nullptr, 0},
    };
    const CGEventFlags held = kCGEventFlagMaskSecondaryFn;
    frameworks::eventSystem().setModifierFlags(held);
    for (const auto& [modifiers, flags] : words) {
        gPosted.clear();
        mouseClick(10, 10, nullptr, 1, word(modifiers).get(), 0);
        ASSERT_EQ(gPosted.size(), 2u);
        EXPECT_EQ(gPosted[0].flags, flags) << (modifiers ? modifiers : "none");
        EXPECT_EQ(gPosted[1].flags, held);
    }
}

TEST_F(MouseClick, APositiveHoldPassesOnTheSessionClockWithoutRunningTheRunLoop) {
    bool fired = false;
    RetainPtr<CFRunLoopTimerRef> timer =
        adoptCF(CFRunLoopTimerCreateWithHandler(nullptr, CFAbsoluteTimeGetCurrent() + 0.1, 0, 0, 0,
                                                [&fired](CFRunLoopTimerRef) { fired = true; }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer.get(), kCFRunLoopDefaultMode);
    mouseClick(10, 10, nullptr, 1, nullptr, 0.25f);
    ASSERT_EQ(gPosted.size(), 2u);
    EXPECT_EQ(gPosted[0].time, 0);
    EXPECT_EQ(gPosted[1].time, 0.25);
    EXPECT_FALSE(fired);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true);
    EXPECT_TRUE(fired);
    CFRunLoopTimerInvalidate(timer.get());
    // A hold that is not positive passes no time.
    for (float hold : {0.0f, -1.0f, NAN}) {
        mouseClick(10, 10, nullptr, 1, nullptr, hold);
        EXPECT_EQ(sim::clockNow(), 0.25) << hold;
    }
    EXPECT_EQ(gPosted.size(), 8u);
}

TEST_F(MouseClick, AnEventThatCannotBeMadeIsNotPosted) {
    sim::injectFault({.call = "CGEventCreateMouseEvent", .count = 1});
    EXPECT_EQ(mouseClick(10, 10, nullptr, 1, nullptr, 0), 0);
    ASSERT_EQ(gPosted.size(), 1u);
    EXPECT_EQ(gPosted[0].type, kCGEventLeftMouseUp);
    sim::injectFault({.call = "CGEventCreateMouseEvent"});
    EXPECT_EQ(mouseClick(10, 10, CFSTR("right"), 1, nullptr, 0), 0);
    EXPECT_EQ(gPosted.size(), 1u);
    EXPECT_EQ(sim::callCount("CGEventPost"), 1u);
}

}  // namespace
