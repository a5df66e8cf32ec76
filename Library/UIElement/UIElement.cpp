#include "UIElement/UIElement.h"

#include <RetainPtr.h>
#include <TypeCastsCF.h>
#include <TypeCastsCocoa.h>

#include <cmath>
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

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

// --- Attribute access and child search

namespace {

// A value read from an attribute as an element; null when it is none, since a value of another
// type must never be handed on as an element.
RetainPtr<AXUIElementRef> elementFrom(RetainPtr<CFTypeRef> value) {
    return dynamic_cf_cast<AXUIElementRef>(std::move(value));
}

// A list of elements ("AXChildren", "AXWindows"); null when it cannot be read or is no list.
RetainPtr<CFArrayRef> copyElementList(AXUIElementRef element, CFStringRef attribute) {
    RetainPtr<CFTypeRef> list;
    if (AXUIElementCopyAttributeValue(element, attribute, list.initializeInto()) !=
        kAXErrorSuccess) {
        return nullptr;
    }
    return dynamic_cf_cast<CFArrayRef>(std::move(list));
}

// Elements compared as the platform compares them (CFEqual, CFHash), each held once.
class ElementSet {
public:
    // False when an equal element is held already.
    bool insert(AXUIElementRef element) { return elements_.insert(retainPtr(element)).second; }
    // The held element equal to `element`; `element` itself, now held, when there was none.
    AXUIElementRef keep(AXUIElementRef element) {
        return elements_.insert(retainPtr(element)).first->get();
    }
    std::size_t size() const { return elements_.size(); }

private:
    struct Hash {
        std::size_t operator()(const RetainPtr<AXUIElementRef>& element) const {
            return CFHash(element.get());
        }
    };
    struct Equal {
        bool operator()(const RetainPtr<AXUIElementRef>& a,
                        const RetainPtr<AXUIElementRef>& b) const {
            return CFEqual(a.get(), b.get());
        }
    };
    std::unordered_set<RetainPtr<AXUIElementRef>, Hash, Equal> elements_;
};

// The children the get… searches have handed out. A get… result is valid for the rest of the
// process, so each is kept here once, never let go; an equal child found again is answered by
// the one kept and adds nothing. Made on first need and never destroyed, like the system-wide
// element.
ElementSet& keptChildElements() {
    static ElementSet* const kept = new ElementSet();
    return *kept;
}

// Hands out a child of a children list that the caller lets go: the child kept for the process.
AXUIElementRef lendChild(AXUIElementRef element) {
    return keptChildElements().keep(element);
}

// The first direct child whose `attribute` satisfies `matches`, borrowed; every child before it
// is read once, and a child whose attribute cannot be read matches nothing.
template <class Matches>
AXUIElementRef getChildWhere(AXUIElementRef element, CFStringRef attribute, Matches matches) {
    RetainPtr<CFArrayRef> children = copyElementList(element, kAXChildrenAttribute);
    if (!children) {
        return nullptr;
    }
    for (id candidate : *children.get()) {
        AXUIElementRef child = dynamic_cf_cast<AXUIElementRef>(candidate);
        if (child == nullptr) {
            continue;
        }
        RetainPtr<CFTypeRef> value = adoptCF(copyValueOfExistingAttribute(attribute, child));
        if (value && matches(value.get())) {
            return lendChild(child);
        }
    }
    return nullptr;
}

// The "lineage" pseudo-attribute. Composing the text autoreleases temporaries; they go with a
// pool of this call, so the caller needs no pool and gets only the text.
CFStringRef copyLineageText(AXUIElementRef element) {
    if (element == nullptr) {
        return nullptr;
    }
    NSAutoreleasePool pool;
    return retainPtr<CFStringRef>(lineageDescriptionOfUIElement(element)).leakRef();
}

// The "actions" pseudo-attribute: each action name followed by a line feed, in the element's
// order; the empty text for an element without actions.
CFStringRef copyActionNamesText(AXUIElementRef element) {
    RetainPtr<CFArrayRef> names;
    if (AXUIElementCopyActionNames(element, names.initializeInto()) != kAXErrorSuccess || !names) {
        return nullptr;
    }
    RetainPtr<CFMutableStringRef> text = adoptCF(CFStringCreateMutable(kCFAllocatorDefault, 0));
    for (id candidate : *names.get()) {
        if (CFStringRef name = dynamic_cf_cast<CFStringRef>(candidate)) {
            CFStringAppend(text.get(), name);
            CFStringAppend(text.get(), CFSTR("\n"));
        }
    }
    return text.leakRef();
}

}  // namespace

CFTypeRef copyValueOfExistingAttribute(CFStringRef attribute, AXUIElementRef element) {
    if (attribute == nullptr || CFStringGetLength(attribute) == 0) {
        return nullptr;
    }
    // The pseudo-attributes never reach the platform.
    if (attribute->isEqualToString(CFSTR("lineage"))) {
        return copyLineageText(element);
    }
    if (attribute->isEqualToString(CFSTR("actions"))) {
        return copyActionNamesText(element);
    }
    RetainPtr<CFTypeRef> value;
    if (AXUIElementCopyAttributeValue(element, attribute, value.initializeInto()) !=
        kAXErrorSuccess) {
        return nullptr;
    }
    return value.leakRef();
}

AXUIElementRef getTitleElementInChildren(AXUIElementRef element, CFArrayRef titles) {
    return getChildWhere(element, kAXTitleAttribute, [titles](CFTypeRef title) {
        if (titles == nullptr) {
            return false;
        }
        for (id candidate : *titles) {
            if (CFEqual(candidate, title)) {
                return true;
            }
        }
        return false;
    });
}

AXUIElementRef getRoleElementInChildren(AXUIElementRef element, CFStringRef role) {
    return getChildWhere(element, kAXRoleAttribute, [role](CFTypeRef childRole) {
        return role != nullptr && CFEqual(role, childRole);
    });
}

AXUIElementRef getIndexElementInChildren(AXUIElementRef element, std::int32_t index) {
    RetainPtr<CFArrayRef> children = copyElementList(element, kAXChildrenAttribute);
    if (!children || index < 0 || static_cast<NSUInteger>(index) >= children->count()) {
        return nullptr;
    }
    AXUIElementRef child =
        dynamic_cf_cast<AXUIElementRef>(children->objectAtIndex(static_cast<NSUInteger>(index)));
    if (child == nullptr) {
        return nullptr;
    }
    return lendChild(child);
}

std::size_t countOfKeptChildElements() {
    return keptChildElements().size();
}

// --- Application, window and action helpers

namespace {

// What a process step answers when it fails, and what a refused action answers.
constexpr std::int32_t kProcessStepFailed = -1;

// Calls `visit` with each ancestor of `element`, nearest first. The climb is a loop, not a
// recursion, so any depth is fine. It ends at the first ancestor without a parent, after a
// parent that is no element (a value has no parent of its own), and before a parent met
// before, so a chain looping back on itself ends too.
template <class Visit>
void climbAncestors(AXUIElementRef element, Visit visit) {
    if (element == nullptr) {
        return;
    }
    ElementSet met;
    met.insert(element);
    AXUIElementRef current = element;  // kept alive by `met`
    for (;;) {
        RetainPtr<CFTypeRef> parent =
            adoptCF(copyValueOfExistingAttribute(kAXParentAttribute, current));
        if (!parent) {
            return;
        }
        AXUIElementRef parentElement = dynamic_cf_cast<AXUIElementRef>(parent.get());
        if (parentElement == nullptr) {
            visit(parent.get());
            return;
        }
        if (!met.insert(parentElement)) {
            return;
        }
        visit(parent.get());
        current = parentElement;
    }
}

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
    ProcessSerialNumber process;
    if (const std::int32_t status = getProcessOfElement(element, process); status != 0) {
        return status;
    }
    return SetFrontProcess(&process);
}

std::int32_t performAction(AXUIElementRef element, CFStringRef actionName) {
    ProcessSerialNumber process;
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
    ProcessSerialNumber process;
    if (getProcessOfElement(window, process) != 0 ||
        SetFrontProcessWithOptions(&process, kSetFrontProcessFrontWindowOnly) != 0) {
        return kProcessStepFailed;
    }
    return 0;
}

// --- Synthetic mouse click

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

// --- Value and lineage descriptions

namespace {

NSString* unknownValueText() {
    return bridge(CFSTR("AXValue???"));
}

// The one-line description of an element from its role and title (or description); null when
// its role cannot be read.
NSString* descriptionOfElement(AXUIElementRef element) {
    RetainPtr<CFTypeRef> role;
    if (AXUIElementCopyAttributeValue(element, kAXRoleAttribute, role.initializeInto()) !=
            kAXErrorSuccess ||
        !role) {
        return nullptr;
    }
    RetainPtr<CFTypeRef> title = adoptCF(copyValueOfExistingAttribute(kAXTitleAttribute, element));
    CFStringRef titleText = dynamic_cf_cast<CFStringRef>(title.get());
    if (!title || (titleText != nullptr && CFStringGetLength(titleText) == 0)) {
        // A description, even an empty one, stands in for a missing or empty title.
        if (RetainPtr<CFTypeRef> description =
                adoptCF(copyValueOfExistingAttribute(kAXDescriptionAttribute, element))) {
            title = std::move(description);
        }
    }
    if (title) {
        return NSString::stringWithFormat("<%@: \"%@\">", role.get(), title.get());
    }
    return NSString::stringWithFormat("<%@>", role.get());
}

}  // namespace

NSString* stringDescriptionOfAXValue(CFTypeRef value, bool labelled) {
    if (value == nullptr) {
        return unknownValueText();
    }
    switch (const AXValueType type = AXValueGetType(value)) {
        case kAXValueCGPointType: {
            CGPoint point{};
            if (!AXValueGetValue(dynamic_cf_cast<AXValueRef>(value), type, &point)) {
                return unknownValueText();
            }
            return NSString::stringWithFormat(labelled ? "<AXPointValue x=%g y=%g>" : "x=%g y=%g",
                                              point.x, point.y);
        }
        case kAXValueCGSizeType: {
            CGSize size{};
            if (!AXValueGetValue(dynamic_cf_cast<AXValueRef>(value), type, &size)) {
                return unknownValueText();
            }
            return NSString::stringWithFormat(labelled ? "<AXSizeValue w=%g h=%g>" : "w=%g h=%g",
                                              size.width, size.height);
        }
        case kAXValueCGRectType: {
            CGRect rect{};
            if (!AXValueGetValue(dynamic_cf_cast<AXValueRef>(value), type, &rect)) {
                return unknownValueText();
            }
            return NSString::stringWithFormat(
                labelled ? "<AXRectValue  x=%g y=%g w=%g h=%g>" : "x=%g y=%g w=%g h=%g",
                rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
        }
        case kAXValueCFRangeType: {
            CFRange range{};
            if (!AXValueGetValue(dynamic_cf_cast<AXValueRef>(value), type, &range)) {
                return unknownValueText();
            }
            return NSString::stringWithFormat(
                labelled ? "<AXRangeValue pos=%ld len=%ld>" : "pos=%ld len=%ld", range.location,
                range.length);
        }
        default:
            break;
    }
    if (const NSString* string = dynamic_objc_cast<NSString>(value)) {
        return bridge(string);
    }
    if (const NSNumber* number = dynamic_objc_cast<NSNumber>(value)) {
        const double real = number->doubleValue();
        if (real == std::trunc(real) && real >= INT32_MIN && real <= INT32_MAX) {
            return NSString::stringWithFormat("%d", number->intValue());
        }
        return NSString::stringWithFormat("%f", real);
    }
    return unknownValueText();
}

NSString* descriptionOfValue(CFTypeRef value, bool labelled) {
    if (value == nullptr) {
        return nullptr;
    }
    if (AXValueGetType(value) != kAXValueIllegalType) {
        return stringDescriptionOfAXValue(value, labelled);
    }
    if (const NSArray* array = dynamic_objc_cast<NSArray>(value)) {
        // %d reads an int: the count is handed over as one.
        return NSString::stringWithFormat("<array of size %d>", static_cast<int>(array->count()));
    }
    if (AXUIElementRef element = dynamic_cf_cast<AXUIElementRef>(value)) {
        if (NSString* description = descriptionOfElement(element)) {
            return description;
        }
    }
    return value->description();
}

NSArray* lineageOfUIElement(AXUIElementRef element) {
    // Gathered from the element upwards, handed out from the top down.
    std::vector<RetainPtr<NSString*>> descriptions;
    // An ancestor that is no element is described as any value is.
    auto describe = [&descriptions](CFTypeRef member) {
        // Each description's temporaries go at once: a deep chain must not pile them up.
        NSAutoreleasePool pool;
        if (NSString* description = descriptionOfValue(member, false)) {
            descriptions.push_back(retainPtr(description));
        }
    };
    if (element != nullptr) {
        describe(element);
        climbAncestors(element, describe);
    }
    NSMutableArray* lineage = NSMutableArray::arrayWithCapacity(descriptions.size());
    for (auto description = descriptions.rbegin(); description != descriptions.rend();
         ++description) {
        lineage->addObject(description->get());
    }
    return lineage;
}

NSString* lineageDescriptionOfUIElement(AXUIElementRef element) {
    NSMutableString* text = NSMutableString::string();
    NSMutableString* indent = NSMutableString::string();
    for (id line : *lineageOfUIElement(element)) {
        text->appendString(indent);
        text->appendString(static_cast<const NSString*>(line));
        text->appendString(CFSTR("\n"));
        indent->appendString(CFSTR(" "));
    }
    return text;
}
