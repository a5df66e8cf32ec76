// The system-wide element and the hit tests: the element at a point, at the pointer, and at a
// point once an application of a bundle identifier is known to be running.
#include "UIElement/UIElement.h"

#include <RetainPtr.h>

AXUIElementRef _systemWideElement = nullptr;

void set_systemWideElement() {
    if (_systemWideElement == nullptr) {
        _systemWideElement = AXUIElementCreateSystemWide();
    }
}

AXError setAXUIElementSetMessagingTimeout(float seconds) {
    set_systemWideElement();
    if (_systemWideElement == nullptr) {
        return kAXErrorFailure;
    }
    return AXUIElementSetMessagingTimeout(_systemWideElement, seconds);
}

namespace {

// The hit test on whatever the system-wide element is: none before it has been made.
AXUIElementRef copyElementAtPosition(float x, float y) {
    if (_systemWideElement == nullptr) {
        return nullptr;
    }
    RetainPtr<AXUIElementRef> element;
    if (AXUIElementCopyElementAtPosition(_systemWideElement, x, y, element.initializeInto()) !=
        kAXErrorSuccess) {
        return nullptr;
    }
    return element.leakRef();
}

}  // namespace

AXUIElementRef copyUIElementAtXY(float x, float y) {
    set_systemWideElement();
    return copyElementAtPosition(x, y);
}

AXUIElementRef copyUIElementAtMouse() {
    RetainPtr<CGEventRef> event = adoptCF(CGEventCreate(nullptr));
    if (!event) {
        return nullptr;  // without an event there is no pointer position to test at
    }
    const CGPoint location = CGEventGetLocation(event.get());
    event.clear();
    return copyUIElementAtXY(static_cast<float>(location.x), static_cast<float>(location.y));
}

AXUIElementRef copyUIElementAtXYWithUIElement(float x, float y) {
    return copyElementAtPosition(x, y);
}

AXUIElementRef copyUIElementAtXYByWithBundleIdentifier(float x, float y,
                                                       CFStringRef bundleIdentifier) {
    // The list of applications is autoreleased: it goes with this pool, and the caller needs
    // none.
    NSAutoreleasePool pool;
    NSArray* applications =
        NSRunningApplication::runningApplicationsWithBundleIdentifier(bundleIdentifier);
    if (applications->count() == 0) {
        return nullptr;
    }
    const auto* first = static_cast<NSRunningApplication*>(applications->objectAtIndex(0));
    const pid_t pid = first->processIdentifier();
    if (pid == -1) {
        return nullptr;
    }
    // The application element only confirms that the application is reachable; the hit test
    // itself is made system-wide.
    RetainPtr<AXUIElementRef> application = adoptCF(AXUIElementCreateApplication(pid));
    if (!application) {
        return nullptr;
    }
    return copyElementAtPosition(x, y);
}

AXUIElementRef copyUIElementAtXYWithProcessName(float, float, CFStringRef) {
    return nullptr;
}
