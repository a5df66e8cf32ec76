// What the toolkit's parts share beyond the public header: a set of elements compared as the
// platform compares them, the read of an element list, and the climb through an element's
// ancestors.
#pragma once

#include <RetainPtr.h>
#include <TypeCastsCF.h>

#include <cstddef>
#include <unordered_set>

#include "UIElement/UIElement.h"

namespace UIElementInternal {

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

// A list of elements ("AXChildren", "AXWindows"); null when it cannot be read or is no list.
RetainPtr<CFArrayRef> copyElementList(AXUIElementRef element, CFStringRef attribute);

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

}  // namespace UIElementInternal
