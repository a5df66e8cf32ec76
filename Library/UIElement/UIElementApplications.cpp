// The application, window and action helpers: both names of an element's application, the
// two window lookups, activation, raising a window and the guarded action.
#include <RetainPtr.h>
#include <TypeCastsCF.h>
#include <TypeCastsCocoa.h>

#include <cstdint>
#include <utility>

#include "UIElement/UIElementInternal.h"

using UIElementInternal::climbAncestors;
using UIElementInternal::copyElementList;

namespace {

// A value read from an attribute as an element; null when it is none, since a value of another
// type must never be handed on as an element.
RetainPtr<AXUIElementRef> elementFrom(RetainPtr<CFTypeRef> value) {
    return dynamic_cf_cast<AXUIElementRef>(std::move(value));
}

// What a process step answers when it fails, and what a refused action answers.
constexpr std::int32_t kProcessStepFailed = -1;

// The serial number of the process that owns `element`; answers the status of the step that
// failed, or 0.
std::int32_t getProcessOfElement(AXUIElementRef element, ProcessSerialNumber& process) {
    pid_t pid = 0;
    process = {0, 0};
    if (const AXError status = AXUIElementGetPid(element, &pid); status != kAXErrorSuccess) {
        return status;
    }
    return GetProcessForPID(pid, &process);
}

}  // namespace

CFStringRef copyApplicationNameOfUIElement(AXUIElementRef element) {
    RetainPtr<AXUIElementRef> topmost;
    climbAncestors(element, [&topmost](CFTypeRef ancestor) {
        if (AXUIElementRef ancestorElement = dynamic_cf_cast<AXUIElementRef>(ancestor)) {
            topmost = retainPtr(ancestorElement);
        }
    });
    if (!topmost) {
        return nullptr;
    }
    RetainPtr<CFTypeRef> title;
    // A failed read leaves the title null, which is the answer then.
    (void)AXUIElementCopyAttributeValue(topmost.get(), kAXTitleAttribute, title.initializeInto());
    return dynamic_cf_cast<CFStringRef>(std::move(title)).leakRef();
}

CFStringRef copyEnglishApplicationNameOfUIElement(AXUIElementRef element) {
    pid_t pid = 0;
    if (AXUIElementGetPid(element, &pid) != kAXErrorSuccess) {
        return static_cast<CFStringRef>(CFRetain(CFSTR("")));
    }
    // The running application and the path pieces are autoreleased: they go with this pool.
    NSAutoreleasePool pool;
    NSRunningApplication* application =
        NSRunningApplication::runningApplicationWithProcessIdentifier(pid);
    NSURL* bundle = application != nullptr ? application->bundleURL() : nullptr;
    NSString* path = bundle != nullptr ? bundle->relativePath() : nullptr;
    if (path == nullptr) {
        return nullptr;
    }
    NSString* name = path->lastPathComponent()->stringByDeletingPathExtension();
    return retainPtr<CFStringRef>(name).leakRef();
}

AXUIElementRef copyActiveApplicatoinsActiveWindowUIElement() {
    pid_t pid = 0;  // a missing record or entry reads as 0
    {
        NSAutoreleasePool pool;  // the record is autoreleased
        NSDictionary* active = NSWorkspace::sharedWorkspace()->activeApplication();
        NSNumber* identifier = active != nullptr ? dynamic_objc_cast<NSNumber>(active->objectForKey(
                                                       CFSTR("NSApplicationProcessIdentifier")))
                                                 : nullptr;
        if (identifier != nullptr) {
            pid = identifier->intValue();
        }
    }
    RetainPtr<AXUIElementRef> application = adoptCF(AXUIElementCreateApplication(pid));
    if (!application) {
        return nullptr;
    }
    RetainPtr<CFTypeRef> window;
    // A failed read leaves the window null, which is the answer then.
    (void)AXUIElementCopyAttributeValue(application.get(), kAXFocusedWindowAttribute,
                                        window.initializeInto());
    return elementFrom(std::move(window)).leakRef();
}

AXUIElementRef copyApplicationWindowWithName(pid_t pid, CFStringRef windowTitle) {
    RetainPtr<AXUIElementRef> application = adoptCF(AXUIElementCreateApplication(pid));
    if (!application) {
        return nullptr;
    }
    RetainPtr<CFArrayRef> windows = copyElementList(application.get(), kAXWindowsAttribute);
    if (!windows) {
        return nullptr;
    }
    for (id candidate : *windows.get()) {
        AXUIElementRef window = dynamic_cf_cast<AXUIElementRef>(candidate);
        if (window == nullptr) {
            continue;
        }
        RetainPtr<CFTypeRef> title =
            adoptCF(copyValueOfExistingAttribute(kAXTitleAttribute, window));
        if (title && windowTitle != nullptr && CFEqual(title.get(), windowTitle)) {
            return retainPtr(window).leakRef();
        }
    }
    return nullptr;
}

std::int32_t activateUIElementProcess(AXUIElementRef element) {
    ProcessSerialNumber process{};
    if (const std::int32_t status = getProcessOfElement(element, process); status != 0) {
        return status;
    }
    return SetFrontProcess(&process);
}

std::int32_t performAction(AXUIElementRef element, CFStringRef actionName) {
    ProcessSerialNumber process{};
    if (getProcessOfElement(element, process) != 0 || SetFrontProcess(&process) != 0) {
        return kProcessStepFailed;
    }
    // An action named "click…" is refused, after the process has come forward all the same.
    if (actionName != nullptr && actionName->hasPrefix(CFSTR("click"))) {
        return kProcessStepFailed;
    }
    return AXUIElementPerformAction(element, actionName);
}

std::int32_t bringAXWindowToFront(AXUIElementRef window) {
    if (const AXError status = AXUIElementPerformAction(window, kAXRaiseAction);
        status != kAXErrorSuccess) {
        return status;
    }
    ProcessSerialNumber process{};
    if (getProcessOfElement(window, process) != 0 ||
        SetFrontProcessWithOptions(&process, kSetFrontProcessFrontWindowOnly) != 0) {
        return kProcessStepFailed;
    }
    return 0;
}
