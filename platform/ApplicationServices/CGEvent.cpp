// Quartz Event Services over the simulated event system.
#include "ApplicationServices/CGEvent.h"

#include "ApplicationServices/CGEventInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "Foundation/Foundation.h"
#include "sim/Desktop.h"
#include "sim/Faults.h"

using frameworks::eventSystem;

namespace frameworks {

using namespace sim;

CGEventRef createEvent() {
    auto* event = new __CGEvent();
    event->location = eventSystem().pointer();
    event->flags = eventSystem().modifierFlags();
    return event;
}

CGEventRef createMouseEvent(CGEventType type, CGPoint location, CGMouseButton button) {
    auto* event = new __CGEvent();
    event->type = type;
    event->location = location;
    event->flags = eventSystem().modifierFlags();
    event->fields[kCGMouseEventButtonNumber] = button;
    event->fields[kCGMouseEventClickState] = 1;
    event->fields[kCGMouseEventNumber] = eventSystem().nextMouseEventNumber();
    return event;
}

CGEventRef createKeyEvent(CGKeyCode key, bool down) {
    CGEventRef event = createEvent();
    __CGEvent* layout = layoutOf(event);
    layout->type = down ? kCGEventKeyDown : kCGEventKeyUp;
    layout->fields[kCGKeyboardEventKeycode] = key;
    return event;
}

}  // namespace frameworks

CFTypeID CGEventGetTypeID() {
    return kCGEventTypeID;
}

CFMachPortRef CGEventTapCreate(CGEventTapLocation tap, CGEventTapPlacement place,
                               CGEventTapOptions options, CGEventMask eventsOfInterest,
                               CGEventTapCallBack callback, void* userInfo) {
    if (sim::failCall<"CGEventTapCreate">() || callback == nullptr) {
        return nullptr;
    }
    // The processes of the session are not root: a tap where HID events enter the window
    // server needs accessibility access, and without it the platform answers null.
    if (tap == kCGHIDEventTap && !sim::desktop().accessEnabled()) {
        return nullptr;
    }
    return eventSystem().createTap(tap, place, options, eventsOfInterest, callback, userInfo);
}

void CGEventTapEnable(CFMachPortRef tap, bool enable) {
    sim::countCall<"CGEventTapEnable">();
    if (tap != nullptr) {
        eventSystem().enableTap(tap, enable);
    }
}

bool CGEventTapIsEnabled(CFMachPortRef tap) {
    const frameworks::EventTap* found = eventSystem().tapFor(tap);
    return found != nullptr && found->enabled;
}

CGEventRef CGEventCreate(CGEventSourceRef) {
    if (sim::failCall<"CGEventCreate">()) {
        return nullptr;
    }
    return frameworks::createEvent();
}

CGEventRef CGEventCreateMouseEvent(CGEventSourceRef, CGEventType mouseType,
                                   CGPoint mouseCursorPosition, CGMouseButton mouseButton) {
    if (sim::failCall<"CGEventCreateMouseEvent">()) {
        return nullptr;
    }
    return frameworks::createMouseEvent(mouseType, mouseCursorPosition, mouseButton);
}

CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef, CGKeyCode virtualKey, bool keyDown) {
    if (sim::failCall<"CGEventCreateKeyboardEvent">()) {
        return nullptr;
    }
    return frameworks::createKeyEvent(virtualKey, keyDown);
}

CGEventRef CGEventCreateCopy(CGEventRef event) {
    const __CGEvent* original = layoutOf(event);
    auto* copy = new __CGEvent();
    copy->type = original->type;
    copy->location = original->location;
    copy->flags = original->flags;
    copy->fields = original->fields;
    return copy;
}

CGEventType CGEventGetType(CGEventRef event) {
    return layoutOf(event)->type;
}
void CGEventSetType(CGEventRef event, CGEventType type) {
    layoutOf(event)->type = type;
}
CGPoint CGEventGetLocation(CGEventRef event) {
    sim::countCall<"CGEventGetLocation">();
    return layoutOf(event)->location;
}
void CGEventSetLocation(CGEventRef event, CGPoint location) {
    layoutOf(event)->location = location;
}
CGEventFlags CGEventGetFlags(CGEventRef event) {
    sim::countCall<"CGEventGetFlags">();
    return layoutOf(event)->flags;
}
void CGEventSetFlags(CGEventRef event, CGEventFlags flags) {
    layoutOf(event)->flags = flags;
}

SInt64 CGEventGetIntegerValueField(CGEventRef event, CGEventField field) {
    sim::countCall<"CGEventGetIntegerValueField">();
    const std::map<CGEventField, SInt64>& fields = layoutOf(event)->fields;
    auto found = fields.find(field);
    return found == fields.end() ? 0 : found->second;
}

void CGEventSetIntegerValueField(CGEventRef event, CGEventField field, SInt64 value) {
    layoutOf(event)->fields[field] = value;
}

void CGEventPost(CGEventTapLocation tap, CGEventRef event) {
    // A post that fails loses the event: the platform has no answer to give.
    if (sim::failCall<"CGEventPost">() || event == nullptr) {
        return;
    }
    eventSystem().post(tap, event, frameworks::EventSystem::Origin::Process);
}

bool CGEventSourceKeyState(CGEventSourceStateID stateID, CGKeyCode key) {
    sim::countCall<"CGEventSourceKeyState">();
    return eventSystem().keyDown(stateID, key);
}

bool CGEventSourceButtonState(CGEventSourceStateID stateID, CGMouseButton button) {
    sim::countCall<"CGEventSourceButtonState">();
    return eventSystem().buttonDown(stateID, button);
}

CGEventFlags CGEventSourceFlagsState(CGEventSourceStateID stateID) {
    return eventSystem().modifierFlags(stateID);
}
