// The guarded attribute read with its two pseudo-attributes ("lineage", "actions"), the three
// searches for a direct child, and the children those searches keep for the process.
#include <RetainPtr.h>
#include <TypeCastsCF.h>

#include <cstdint>
#include <utility>

#include "UIElement/UIElementInternal.h"

using UIElementInternal::copyElementList;
using UIElementInternal::ElementSet;

RetainPtr<CFArrayRef> UIElementInternal::copyElementList(AXUIElementRef element,
                                                         CFStringRef attribute) {
    RetainPtr<CFTypeRef> list;
    if (AXUIElementCopyAttributeValue(element, attribute, list.initializeInto()) !=
        kAXErrorSuccess) {
        return nullptr;
    }
    return dynamic_cf_cast<CFArrayRef>(std::move(list));
}

namespace {

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
