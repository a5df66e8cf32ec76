// The click record's writer: what the event, the element under its point, the active
// application and the caller's snapshot give, each put at its position (ClickRecord.h).
#include <TypeCastsCF.h>
#include <UIElement/UIElement.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "ClickRecord.h"
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

// What the element under the point gives the record: its owner's name, bundle file name and
// process identifier, and four of its attributes. A value the element does not give stays the
// empty string (the owner's process identifier 0).
struct ElementValues {
    id ownerName = bridge(CFSTR(""));
    id ownerFileName = bridge(CFSTR(""));
    NSNumber* ownerPid = NSNumber::numberWithInt(0);
    id role = bridge(CFSTR(""));
    id subrole = bridge(CFSTR(""));
    id title = bridge(CFSTR(""));
    id url = bridge(CFSTR(""));
    // Holds the four attribute values until the record holds them.
    RetainPtr<CFArrayRef> attributeValues;
};

// The owner is the running application with the element's process identifier; an owner that no
// running application answers to gives NSNull for its name and file name.
void readOwner(AXUIElementRef element, ElementValues& values) {
    pid_t elementPid = 0;
    if (AXUIElementGetPid(element, &elementPid) != kAXErrorSuccess) {
        return;
    }
    NSRunningApplication* owner =
        NSRunningApplication::runningApplicationWithProcessIdentifier(elementPid);
    NSURL* bundleURL = owner ? owner->bundleURL() : nullptr;
    values.ownerName = orNull(owner ? owner->localizedName() : nullptr);
    values.ownerFileName = orNull(fileNameOfPath(bundleURL ? bundleURL->relativePath() : nullptr));
    values.ownerPid = NSNumber::numberWithInt(owner ? owner->processIdentifier() : 0);
}

// The four attributes in one request; they count only when the request answers all four.
void readAttributes(AXUIElementRef element, ElementValues& values) {
    const NSArray* names = NSArray::arrayWithObjects(
        {CFSTR("AXRole"), CFSTR("AXSubrole"), CFSTR("AXTitle"), CFSTR("AXURL")});
    if (AXUIElementCopyMultipleAttributeValues(
            element, names, 0, values.attributeValues.initializeInto()) != kAXErrorSuccess ||
        values.attributeValues->count() != 4) {
        return;
    }
    const NSArray* read = values.attributeValues.get();
    values.role = valueOrEmpty(read->objectAtIndex(0));
    values.subrole = stringValueOrEmpty(read->objectAtIndex(1));
    values.title = stringValueOrEmpty(read->objectAtIndex(2));
    values.url = stringValueOrEmpty(read->objectAtIndex(3));
}

// The element under the point, while the Dock runs (the hit test itself is system-wide).
ElementValues elementValuesAt(std::int32_t x, std::int32_t y) {
    ElementValues values;
    RetainPtr<AXUIElementRef> element = adoptCF(copyUIElementAtXYByWithBundleIdentifier(
        static_cast<float>(x), static_cast<float>(y), CFSTR("com.apple.dock")));
    if (element) {
        readOwner(element.get(), values);
        readAttributes(element.get(), values);
    }
    return values;
}

// The record's values, in the order of their positions, as one array.
template <std::size_t... kPositions>
NSArray* arrayOfRecord(const std::array<CFTypeRef, kClickRecordLength>& record,
                       std::index_sequence<kPositions...>) {
    return NSArray::arrayWithObjects({record[kPositions]...});
}

// The workspace's record of the active application; all nil while none is active.
struct ActiveValues {
    id name = nullptr;
    NSString* path = nullptr;
    id pid = nullptr;
};

ActiveValues activeApplicationValues() {
    NSDictionary* active = NSWorkspace::sharedWorkspace()->activeApplication();
    if (active == nullptr) {
        return {};
    }
    return {active->objectForKey(CFSTR("NSApplicationName")),
            dynamic_objc_cast<NSString>(active->objectForKey(CFSTR("NSApplicationPath"))),
            active->objectForKey(CFSTR("NSApplicationProcessIdentifier"))};
}

}  // namespace

NSArray* makePassiveDefaultArgv(CGEventRef event, int argument, NSString* appName,
                                NSString* fileAppName, NSNumber* pid) {
    set_systemWideElement();
    const CGPoint location = CGEventGetLocation(event);
    const std::int32_t x = truncatedCoordinate(location.x);
    const std::int32_t y = truncatedCoordinate(location.y);
    const ElementValues element = elementValuesAt(x, y);
    NSMutableArray* modifiers = modifierNames(event);
    const ActiveValues active = activeApplicationValues();

    // Filled in the order of the positions, which is the order the values are made in.
    std::array<CFTypeRef, kClickRecordLength> record{};
    record[kXPosition] = NSNumber::numberWithInt(x);
    record[kYPosition] = NSNumber::numberWithInt(y);
    record[kArgumentPosition] = NSNumber::numberWithInt(argument);
    record[kModifiersPosition] = modifiers;
    record[kActiveNamePosition] = active.name ? active.name : bridge(CFSTR(""));
    record[kActiveFileNamePosition] = orNull(fileNameOfPath(active.path));
    record[kActivePidPosition] = orNull(active.pid);
    record[kSnapshotNamePosition] = orNull(appName);
    record[kSnapshotFileNamePosition] = orNull(fileAppName);
    record[kSnapshotPidPosition] = orNull(pid);
    record[kOwnerNamePosition] = element.ownerName;
    record[kOwnerFileNamePosition] = element.ownerFileName;
    record[kOwnerPidPosition] = element.ownerPid;
    record[kRolePosition] = element.role;
    record[kSubrolePosition] = element.subrole;
    record[kTitlePosition] = element.title;
    record[kEmptyPosition] = CFSTR("");
    record[kURLPosition] = element.url;
    // A position left out would be a null element, which the array refuses.
    return arrayOfRecord(record, std::make_index_sequence<kClickRecordLength>());
}
