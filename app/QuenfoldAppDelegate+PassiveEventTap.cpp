// The Dock-click watcher: the passive event tap, the press snapshot and the hide rule.
#include "ClickRecord.h"
#include "QuenfoldAppDelegate.h"
#include "WorkspaceValues.h"

NSString* gLeftMouseDownFileAppName = bridge(CFSTR(""));
NSString* gLeftMouseDownAppName = bridge(CFSTR(""));
NSNumber* gLeftMouseDownPid = nullptr;

namespace {

constexpr CGEventMask kLeftButtonMask =
    CGEventMaskBit(kCGEventLeftMouseDown) | CGEventMaskBit(kCGEventLeftMouseUp);

// The string at a position of the record, or nil when the position holds no string.
NSString* stringAt(NSArray* record, NSUInteger position) {
    return dynamic_objc_cast<NSString>(record->objectAtIndex(position));
}

bool stringAtEquals(NSArray* record, NSUInteger position, CFStringRef expected) {
    NSString* value = stringAt(record, position);
    return value != nullptr && value->isEqualToString(expected);
}

// Retains the new value before releasing the old one, so that the same object can be stored
// again.
template <class T>
void replaceSnapshotValue(T*& variable, T* value) {
    if (value != nullptr) {
        value->retain();
    }
    if (variable != nullptr) {
        variable->release();
    }
    variable = value;
}

void takePressSnapshot() {
    NSDictionary* active = NSWorkspace::sharedWorkspace()->activeApplication();
    auto entry = [active](CFStringRef key) { return active ? active->objectForKey(key) : nullptr; };
    replaceSnapshotValue(
        gLeftMouseDownFileAppName,
        fileNameOfPath(dynamic_objc_cast<NSString>(entry(CFSTR("NSApplicationPath")))));
    replaceSnapshotValue(gLeftMouseDownAppName,
                         dynamic_objc_cast<NSString>(entry(CFSTR("NSApplicationName"))));
    replaceSnapshotValue(gLeftMouseDownPid, dynamic_objc_cast<NSNumber>(
                                                entry(CFSTR("NSApplicationProcessIdentifier"))));
}

// A single-click release on the Dock item of the application noted at the press hides that
// application, unless it is hidden already.
void applyHideRule(CGEventRef event) {
    if (CGEventGetIntegerValueField(event, kCGMouseEventClickState) != 1) {
        return;
    }
    NSArray* record = makePassiveDefaultArgv(event, 1, gLeftMouseDownAppName,
                                             gLeftMouseDownFileAppName, gLeftMouseDownPid);
    if (!stringAtEquals(record, kSubrolePosition, CFSTR("AXApplicationDockItem")) ||
        !stringAtEquals(record, kOwnerFileNamePosition, CFSTR("Dock"))) {
        return;
    }
    NSNumber* pid = dynamic_objc_cast<NSNumber>(record->objectAtIndex(kSnapshotPidPosition));
    if (pid == nullptr) {
        return;  // no press has been seen, or no application was active at it
    }
    NSRunningApplication* application =
        NSRunningApplication::runningApplicationWithProcessIdentifier(pid->intValue());
    if (application == nullptr || application->isHidden()) {
        return;
    }
    NSString* snapshotName = stringAt(record, kSnapshotNamePosition);
    if (snapshotName == nullptr || !stringAtEquals(record, kTitlePosition, snapshotName)) {
        return;
    }
    application->hide();
}

}  // namespace

CGEventRef MyPassiveEventTapCallBack(CGEventTapProxy, CGEventType type, CGEventRef event,
                                     void* userInfo) {
    NSAutoreleasePool pool;
    auto* delegate = static_cast<QuenfoldAppDelegate*>(userInfo);
    switch (type) {
        case kCGEventLeftMouseDown:
            takePressSnapshot();
            break;
        case kCGEventLeftMouseUp:
            applyHideRule(event);
            break;
        case kCGEventTapDisabledByTimeout:
            if (delegate != nullptr) {
                delegate->performSelectorOnMainThread(&QuenfoldAppDelegate::enablePassiveEventTap,
                                                      nil, NO);
            }
            break;
        case kCGEventTapDisabledByUserInput:
            if (delegate != nullptr) {
                delegate->performSelector(&QuenfoldAppDelegate::installPassiveEventTap, nil, 0.5);
            }
            break;
        default:
            break;
    }
    return event;
}

QuenfoldAppDelegate::~QuenfoldAppDelegate() {
    releasePassiveEventTap();
}

void QuenfoldAppDelegate::installPassiveEventTap() {
    releasePassiveEventTap();
    passiveEventTapPort =
        adoptCF(CGEventTapCreate(kCGHIDEventTap, kCGTailAppendEventTap, kCGEventTapOptionListenOnly,
                                 kLeftButtonMask, MyPassiveEventTapCallBack, this));
    if (passiveEventTapPort) {
        passiveEventTapRLSR = adoptCF(
            CFMachPortCreateRunLoopSource(kCFAllocatorDefault, passiveEventTapPort.get(), 0));
    }
    if (passiveEventTapRLSR) {
        CFRunLoopAddSource(CFRunLoopGetCurrent(), passiveEventTapRLSR.get(), kCFRunLoopDefaultMode);
    }
}

void QuenfoldAppDelegate::releasePassiveEventTap() {
    if (passiveEventTapRLSR) {
        CFRunLoopRemoveSource(CFRunLoopGetCurrent(), passiveEventTapRLSR.get(),
                              kCFRunLoopDefaultMode);
        passiveEventTapRLSR.clear();
    }
    passiveEventTapPort.clear();
}

void QuenfoldAppDelegate::enablePassiveEventTap() {
    if (passiveEventTapPort) {
        CGEventTapEnable(passiveEventTapPort.get(), true);
    }
}
