// The synthetic mouse click: button and modifier words, the click count, the hold on the
// session's clock, and events that cannot be made. The watcher listens to the left button's press
// and release only and hides on them (WatcherTests.cpp): those are the events checked here.
#include <RetainPtr.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
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

// A case named by its word: the word's letters and digits, "Empty" or "None".
std::string caseName(const char* text) {
    std::string name;
    for (const char* at = text; at != nullptr && *at != '\0'; ++at) {
        name += std::isalnum(static_cast<unsigned char>(*at)) ? std::string(1, *at) : "";
    }
    return text == nullptr ? "None" : name.empty() ? "Empty" : name;
}

struct ButtonWord {
    const char* word;
    CGEventType press;
    CGEventType release;
    SInt64 button;
};

class MouseClickButton : public MouseClick, public ::testing::WithParamInterface<ButtonWord> {};

TEST_P(MouseClickButton, TheButtonWordChoosesTheEventsExactly) {
    const ButtonWord& expected = GetParam();
    EXPECT_EQ(mouseClick(100.5f, 200.25f, word(expected.word).get(), 1, nullptr, 0), 0);
    ASSERT_EQ(gPosted.size(), 2u);
    EXPECT_EQ(gPosted[0].type, expected.press);
    EXPECT_EQ(gPosted[1].type, expected.release);
    for (const PostedEvent& event : gPosted) {
        EXPECT_EQ(event.button, expected.button);
        EXPECT_EQ(event.location.x, 100.5);
        EXPECT_EQ(event.location.y, 200.25);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, MouseClickButton,
    ::testing::Values(
        ButtonWord{"right", kCGEventRightMouseDown, kCGEventRightMouseUp, kCGMouseButtonRight},
        ButtonWord{"middle", kCGEventOtherMouseDown, kCGEventOtherMouseUp, kCGMouseButtonCenter},
        ButtonWord{"Right", kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGMouseButtonLeft},
        ButtonWord{"", kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGMouseButtonLeft},
        ButtonWord{nullptr, kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGMouseButtonLeft}),
    [](const auto& info) { return caseName(info.param.word); });

class MouseClickModifiers
    : public MouseClick,
      public ::testing::WithParamInterface<std::pair<const char*, CGEventFlags>> {};

TEST_P(MouseClickModifiers, ModifierWordsReplaceThePressFlagsOnly) {
    const auto& [modifiers, flags] = GetParam();
    const CGEventFlags held = kCGEventFlagMaskSecondaryFn;
    frameworks::eventSystem().setModifierFlags(held);
    mouseClick(10, 10, nullptr, 1, word(modifiers).get(), 0);
    ASSERT_EQ(gPosted.size(), 2u);
    EXPECT_EQ(gPosted[0].flags, flags);
    EXPECT_EQ(gPosted[1].flags, held) << "the release keeps what creation gave it";
}

INSTANTIATE_TEST_SUITE_P(
    Words, MouseClickModifiers,
    ::testing::Values(
        std::pair{"Control+OPTION", kCGEventFlagMaskControl | kCGEventFlagMaskAlternate},
        std::pair{"optioncontrol", kCGEventFlagMaskControl | kCGEventFlagMaskAlternate},
        std::pair{"shift, Command", kCGEventFlagMaskShift | kCGEventFlagMaskCommand},
        std::pair{"cmd ctrl alt", CGEventFlags{0}}, std::pair{"", CGEventFlags{0}},
        std::pair{static_cast<const char*>(nullptr), CGEventFlags{0}}),
    [](const auto& info) { return caseName(info.param.first); });

class MouseClickCount : public MouseClick, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(MouseClickCount, TheClickCountGoesOnThePressSignExtended) {
    mouseClick(10, 10, nullptr, GetParam(), nullptr, 0);
    ASSERT_EQ(gPosted.size(), 2u) << "one press and one release, whatever the count";
    EXPECT_EQ(gPosted[0].clickState, static_cast<SInt64>(GetParam()));
    EXPECT_EQ(gPosted[1].clickState, 1);
}

INSTANTIATE_TEST_SUITE_P(Counts, MouseClickCount, ::testing::Values(3, -1, INT_MIN),
                         [](const auto& info) {
                             return (info.param < 0 ? "Minus" : "") +
                                    std::to_string(std::abs(static_cast<long long>(info.param)));
                         });

TEST_F(MouseClick, TheHoldPassesOnTheSessionClockWithoutRunningTheRunLoop) {
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
}

TEST_F(MouseClick, AHoldThatIsNotPositivePassesNoTime) {
    for (float hold : {0.0f, -1.0f, NAN}) {
        mouseClick(10, 10, nullptr, 1, nullptr, hold);
        EXPECT_EQ(sim::clockNow(), 0) << hold;
    }
    EXPECT_EQ(gPosted.size(), 6u);
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
