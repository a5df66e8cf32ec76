// The synthetic mouse click: a press and a release of a named button, with modifier words and a
// hold between them.
#include "UIElement/UIElement.h"

#include <RetainPtr.h>

#include <cstdint>
#include <utility>

namespace {

struct MouseButtonEvents {
    CGEventType press;
    CGEventType release;
    CGMouseButton button;
};

// "right" and "middle", exactly; any other name, or none, is the left button.
MouseButtonEvents mouseButtonEventsNamed(CFStringRef buttonName) {
    if (buttonName != nullptr && buttonName->isEqualToString(CFSTR("right"))) {
        return {kCGEventRightMouseDown, kCGEventRightMouseUp, kCGMouseButtonRight};
    }
    if (buttonName != nullptr && buttonName->isEqualToString(CFSTR("middle"))) {
        return {kCGEventOtherMouseDown, kCGEventOtherMouseUp, kCGMouseButtonCenter};
    }
    return {kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGMouseButtonLeft};
}

// One flag for each modifier word found anywhere in the text, whatever its case; no separator
// is needed.
CGEventFlags modifierFlagsNamedIn(CFStringRef modifiers) {
    if (modifiers == nullptr) {
        return 0;
    }
    NSAutoreleasePool pool;  // the lowercased text is autoreleased
    const NSString* lowered = modifiers->lowercaseString();
    const std::pair<CFStringRef, CGEventFlags> words[] = {
        {CFSTR("command"), kCGEventFlagMaskCommand},
        {CFSTR("shift"), kCGEventFlagMaskShift},
        {CFSTR("option"), kCGEventFlagMaskAlternate},
        {CFSTR("control"), kCGEventFlagMaskControl},
    };
    CGEventFlags flags = 0;
    for (const auto& [word, flag] : words) {
        if (lowered->rangeOfString(word).location != NSNotFound) {
            flags |= flag;
        }
    }
    return flags;
}

}  // namespace

std::int32_t mouseClick(float x, float y, CFStringRef buttonName, std::int32_t clickCount,
                        CFStringRef modifiers, float holdSeconds) {
    const MouseButtonEvents events = mouseButtonEventsNamed(buttonName);
    const CGEventFlags flags = modifierFlagsNamedIn(modifiers);
    const CGPoint position = CGPointMake(static_cast<CGFloat>(x), static_cast<CGFloat>(y));
    // An event that cannot be made is not posted.
    if (RetainPtr<CGEventRef> press =
            adoptCF(CGEventCreateMouseEvent(nullptr, events.press, position, events.button))) {
        CGEventSetIntegerValueField(press.get(), kCGMouseEventClickState,
                                    static_cast<SInt64>(clickCount));
        // Replaces the flags the event was made with: an empty mask clears them.
        CGEventSetFlags(press.get(), flags);
        CGEventPost(kCGHIDEventTap, press.get());
    }
    NSThread::sleepForTimeInterval(static_cast<NSTimeInterval>(holdSeconds));
    // The release carries only what event creation gives it.
    if (RetainPtr<CGEventRef> release =
            adoptCF(CGEventCreateMouseEvent(nullptr, events.release, position, events.button))) {
        CGEventPost(kCGHIDEventTap, release.get());
    }
    return 0;
}
