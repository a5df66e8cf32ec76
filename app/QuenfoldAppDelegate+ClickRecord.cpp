// The click record: the 18-position description of a mouse event that the hide rule reads.
//
//  0, 1  x and y of the event's location, truncated toward zero
//  2     the caller's integer
//  3     names of the modifier keys, special keys and mouse buttons held
//  4-6   the application active now: name, bundle file name, process identifier
//  7-9   the caller's application name, file name and process identifier (the press snapshot)
//  10-12 the application owning the element under the point: name, bundle file name, pid
//  13-15 the element's AXRole, AXSubrole, AXTitle
//  16    always the empty string
//  17    the element's AXURL when it is a string
//
// A position whose source gives nothing and that has no substitute of its own (an active
// application without a bundle path, no snapshot yet, an owner that no running application
// answers to) holds NSNull, so that every position holds an object and readers can tell a
// missing value from any string.
#include <TypeCastsCF.h>
#include <UIElement/UIElement.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "QuenfoldAppDelegate.h"
#include "WorkspaceValues.h"

namespace {

// Truncation toward zero, saturated to the 32-bit range (a NaN reads as 0).
std::int32_t truncatedCoordinate(CGFloat value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double clamped =
        std::fmax(std::fmin(std::trunc(value), std::numeric_limits<std::int32_t>::max()),
                  std::numeric_limits<std::int32_t>::min());
    return static_cast<std::int32_t>(clamped);
}

id orNull(id value) {
    return value != nullptr ? value : NSNull::null();
}

// An attribute of the multiple read that gave nothing: it stands as an error value or as null.
bool isMissingValue(CFTypeRef value) {
    return value == nullptr || value == kCFNull ||
           AXValueGetType(dynamic_cf_cast<AXValueRef>(value)) == kAXValueAXErrorType;
}

// An attribute value of any kind; a missing one reads as the empty string.
id valueOrEmpty(CFTypeRef value) {
    return isMissingValue(value) ? bridge(CFSTR("")) : bridge(value);
}

// An attribute value that must be a string to count; anything else reads as the empty string.
id stringValueOrEmpty(CFTypeRef value) {
    const NSString* string = dynamic_objc_cast<NSString>(value);
    return bridge(string != nullptr ? string : CFSTR(""));
}

NSMutableArray* modifierNames(CGEventRef event) {
    NSMutableArray* names = NSMutableArray::arrayWithCapacity(10);
    const CGEventFlags flags = CGEventGetFlags(event);
    auto addIf = [&](bool down, CFStringRef name) {
        if (down) {
            names->addObject(name);
        }
    };
    addIf(flags & kCGEventFlagMaskControl, CFSTR("control"));
    addIf(flags & kCGEventFlagMaskCommand, CFSTR("command"));
    addIf(flags & kCGEventFlagMaskShift, CFSTR("shift"));
    addIf(flags & kCGEventFlagMaskAlternate, CFSTR("option"));
    addIf(flags & kCGEventFlagMaskSecondaryFn, CFSTR("fn"));
    addIf(flags & kCGEventFlagMaskAlphaShift, CFSTR("caps"));
    // The JIS keys and the buttons come from the live state, not from the event.
    constexpr CGKeyCode kJISEisu = 0x66;
    constexpr CGKeyCode kJISKana = 0x68;
    addIf(CGEventSourceKeyState(kCGEventSourceStateCombinedSessionState, kJISEisu), CFSTR("eisuu"));
    addIf(CGEventSourceKeyState(kCGEventSourceStateCombinedSessionState, kJISKana), CFSTR("kana"));
    const CFStringRef buttonNames[] = {CFSTR("mouseButtonLeft"),   CFSTR("mouseButtonRight"),
                                       CFSTR("mouseButtonCenter"), CFSTR("mouseButton4"),
                                       CFSTR("mouseButton5"),      CFSTR("mouseButton6"),
                                       CFSTR("mouseButton7"),      CFSTR("mouseButton8")};
    for (CGMouseButton button = 0; button < 8; ++button) {
        addIf(CGEventSourceButtonState(kCGEventSourceStateHIDSystemState, button),
              buttonNames[button]);
    }
    return names;
}

}  // namespace

NSArray* makePassiveDefaultArgv(CGEventRef event, int argument, NSString* appName,
                                NSString* fileAppName, NSNumber* pid) {
    set_systemWideElement();

    const CGPoint location = CGEventGetLocation(event);
    const std::int32_t x = truncatedCoordinate(location.x);
    const std::int32_t y = truncatedCoordinate(location.y);

    id ownerName = bridge(CFSTR(""));
    id ownerFileName = bridge(CFSTR(""));
    NSNumber* ownerPid = NSNumber::numberWithInt(0);
    id role = bridge(CFSTR(""));
    id subrole = bridge(CFSTR(""));
    id title = bridge(CFSTR(""));
    id url = bridge(CFSTR(""));

    RetainPtr<CFArrayRef> attributeValues;
    RetainPtr<AXUIElementRef> element = adoptCF(copyUIElementAtXYByWithBundleIdentifier(
        static_cast<float>(x), static_cast<float>(y), CFSTR("com.apple.dock")));
    if (element) {
        pid_t elementPid = 0;
        if (AXUIElementGetPid(element.get(), &elementPid) == kAXErrorSuccess) {
            NSRunningApplication* owner =
                NSRunningApplication::runningApplicationWithProcessIdentifier(elementPid);
            NSURL* bundleURL = owner ? owner->bundleURL() : nullptr;
            ownerName = orNull(owner ? owner->localizedName() : nullptr);
            ownerFileName = orNull(fileNameOfPath(bundleURL ? bundleURL->relativePath() : nullptr));
            ownerPid = NSNumber::numberWithInt(owner ? owner->processIdentifier() : 0);
        }
        const NSArray* names = NSArray::arrayWithObjects(
            {CFSTR("AXRole"), CFSTR("AXSubrole"), CFSTR("AXTitle"), CFSTR("AXURL")});
        if (AXUIElementCopyMultipleAttributeValues(
                element.get(), names, 0, attributeValues.initializeInto()) == kAXErrorSuccess &&
            attributeValues->count() == 4) {
            role = valueOrEmpty(attributeValues->objectAtIndex(0));
            subrole = stringValueOrEmpty(attributeValues->objectAtIndex(1));
            title = stringValueOrEmpty(attributeValues->objectAtIndex(2));
            url = stringValueOrEmpty(attributeValues->objectAtIndex(3));
        }
        element.clear();
    }

    NSMutableArray* modifiers = modifierNames(event);

    NSDictionary* active = NSWorkspace::sharedWorkspace()->activeApplication();
    id activeName = active ? active->objectForKey(CFSTR("NSApplicationName")) : nullptr;
    NSString* activePath =
        active ? dynamic_objc_cast<NSString>(active->objectForKey(CFSTR("NSApplicationPath")))
               : nullptr;
    id activePid = active ? active->objectForKey(CFSTR("NSApplicationProcessIdentifier")) : nullptr;

    return NSArray::arrayWithObjects({
        NSNumber::numberWithInt(x),
        NSNumber::numberWithInt(y),
        NSNumber::numberWithInt(argument),
        modifiers,
        activeName ? activeName : bridge(CFSTR("")),
        orNull(fileNameOfPath(activePath)),
        orNull(activePid),
        orNull(appName),
        orNull(fileAppName),
        orNull(pid),
        ownerName,
        ownerFileName,
        ownerPid,
        role,
        subrole,
        title,
        CFSTR(""),
        url,
    });
}
