// Quartz Event Services: event taps, reading and making mouse events, posting them, and the
// live state of keys and buttons.
#pragma once

#include "ApplicationServices/CGGeometry.h"
#include "CoreFoundation/CFRuntime.h"
#include "CoreFoundation/CoreFoundation.h"

// A Quartz event: its type, location, flags and integer fields.
class __CGEvent;  // the layout: ApplicationServices/CGEventInternal.h
using CGEventRef = CFOpaqueObject<__CGEvent>*;
// An event source: the calls take one and do not read it; none is ever made.
class __CGEventSource;
using CGEventSourceRef = CFOpaqueObject<__CGEventSource>*;
struct __CGEventTapProxy;
using CGEventTapProxy = __CGEventTapProxy*;

using CGEventType = UInt32;
enum : CGEventType {
    kCGEventNull = 0,
    kCGEventLeftMouseDown = 1,
    kCGEventLeftMouseUp = 2,
    kCGEventRightMouseDown = 3,
    kCGEventRightMouseUp = 4,
    kCGEventMouseMoved = 5,
    kCGEventLeftMouseDragged = 6,
    kCGEventRightMouseDragged = 7,
    kCGEventKeyDown = 10,
    kCGEventKeyUp = 11,
    kCGEventFlagsChanged = 12,
    kCGEventScrollWheel = 22,
    kCGEventOtherMouseDown = 25,
    kCGEventOtherMouseUp = 26,
    kCGEventOtherMouseDragged = 27,
    kCGEventTapDisabledByTimeout = 0xFFFFFFFE,
    kCGEventTapDisabledByUserInput = 0xFFFFFFFF,
};

using CGEventMask = UInt64;
#define CGEventMaskBit(eventType) ((CGEventMask)1 << (eventType))

using CGEventFlags = UInt64;
enum : CGEventFlags {
    kCGEventFlagMaskAlphaShift = 0x00010000,
    kCGEventFlagMaskShift = 0x00020000,
    kCGEventFlagMaskControl = 0x00040000,
    kCGEventFlagMaskAlternate = 0x00080000,
    kCGEventFlagMaskCommand = 0x00100000,
    kCGEventFlagMaskNumericPad = 0x00200000,
    kCGEventFlagMaskHelp = 0x00400000,
    kCGEventFlagMaskSecondaryFn = 0x00800000,
    kCGEventFlagMaskNonCoalesced = 0x00000100,
};

using CGEventField = UInt32;
enum : CGEventField {
    kCGMouseEventNumber = 0,
    kCGMouseEventClickState = 1,
    kCGMouseEventPressure = 2,
    kCGMouseEventButtonNumber = 3,
    kCGMouseEventDeltaX = 4,
    kCGMouseEventDeltaY = 5,
    kCGMouseEventSubtype = 7,
    kCGKeyboardEventKeycode = 9,
    kCGEventTargetUnixProcessID = 40,
    kCGEventSourceUnixProcessID = 41,
};

using CGMouseButton = UInt32;
enum : CGMouseButton {
    kCGMouseButtonLeft = 0,
    kCGMouseButtonRight = 1,
    kCGMouseButtonCenter = 2,
};

using CGEventTapLocation = UInt32;
enum : CGEventTapLocation {
    kCGHIDEventTap = 0,
    kCGSessionEventTap = 1,
    kCGAnnotatedSessionEventTap = 2,
};

using CGEventTapPlacement = UInt32;
enum : CGEventTapPlacement {
    kCGHeadInsertEventTap = 0,
    kCGTailAppendEventTap = 1,
};

using CGEventTapOptions = UInt32;
enum : CGEventTapOptions {
    kCGEventTapOptionDefault = 0,
    kCGEventTapOptionListenOnly = 1,
};

// The private state's id is -1 as a plain enumerator; as a CGEventSourceStateID it wraps.
using CGEventSourceStateID = UInt32;
enum {
    kCGEventSourceStatePrivate = -1,
    kCGEventSourceStateCombinedSessionState = 0,
    kCGEventSourceStateHIDSystemState = 1,
};

using CGKeyCode = UInt16;

using CGEventTapCallBack = CGEventRef (*)(CGEventTapProxy proxy, CGEventType type, CGEventRef event,
                                          void* userInfo);

CFTypeID CGEventGetTypeID();

// A new tap, owned by the caller, enabled from its creation; null when it cannot be made. A tap
// at kCGHIDEventTap needs accessibility access (the session's processes are not root).
CFMachPortRef CGEventTapCreate(CGEventTapLocation tap, CGEventTapPlacement place,
                               CGEventTapOptions options, CGEventMask eventsOfInterest,
                               CGEventTapCallBack callback, void* userInfo);
void CGEventTapEnable(CFMachPortRef tap, bool enable);
bool CGEventTapIsEnabled(CFMachPortRef tap);

// A new event (null type) at the pointer's current location; null when it cannot be made.
CGEventRef CGEventCreate(CGEventSourceRef source);
// A new mouse event; its click state is 1 and its flags are the modifier keys held now.
CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source, CGEventType mouseType,
                                   CGPoint mouseCursorPosition, CGMouseButton mouseButton);
// A new key-down or key-up event for a virtual key code, with the modifier keys held now.
CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey, bool keyDown);
CGEventRef CGEventCreateCopy(CGEventRef event);

CGEventType CGEventGetType(CGEventRef event);
void CGEventSetType(CGEventRef event, CGEventType type);
CGPoint CGEventGetLocation(CGEventRef event);
void CGEventSetLocation(CGEventRef event, CGPoint location);
CGEventFlags CGEventGetFlags(CGEventRef event);
void CGEventSetFlags(CGEventRef event, CGEventFlags flags);
SInt64 CGEventGetIntegerValueField(CGEventRef event, CGEventField field);
void CGEventSetIntegerValueField(CGEventRef event, CGEventField field, SInt64 value);

// Posts the event into the event stream at `tap`: it passes through the event taps and then
// reaches whatever lies under its location.
void CGEventPost(CGEventTapLocation tap, CGEventRef event);

bool CGEventSourceKeyState(CGEventSourceStateID stateID, CGKeyCode key);
bool CGEventSourceButtonState(CGEventSourceStateID stateID, CGMouseButton button);
CGEventFlags CGEventSourceFlagsState(CGEventSourceStateID stateID);
