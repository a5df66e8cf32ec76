// Text descriptions of accessibility values and elements, and an element's lineage: its
// ancestors from the top of the tree down, as a list and as indented lines.
#include <RetainPtr.h>
#include <TypeCastsCF.h>
#include <TypeCastsCocoa.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "UIElement/UIElementInternal.h"

using UIElementInternal::climbAncestors;

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
    switch (const AXValueType type = AXValueGetType(dynamic_cf_cast<AXValueRef>(value))) {
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
    if (AXValueGetType(dynamic_cf_cast<AXValueRef>(value)) != kAXValueIllegalType) {
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
