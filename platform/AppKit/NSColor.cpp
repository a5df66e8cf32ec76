#include "AppKit/NSColor.h"

#include <cstring>

NSColor* NSColor::constant(const char* name, CGFloat red, CGFloat green, CGFloat blue) {
    return new NSColor(name, red, green, blue);
}

// Each constant is made once, at its first use, and lives for the whole process.
#define NSCOLOR_CONSTANT(method, red, green, blue)                         \
    NSColor* NSColor::method() {                                           \
        static NSColor* const color = constant(#method, red, green, blue); \
        return color;                                                      \
    }

NSCOLOR_CONSTANT(blackColor, 0, 0, 0)
NSCOLOR_CONSTANT(darkGrayColor, 1.0 / 3, 1.0 / 3, 1.0 / 3)
NSCOLOR_CONSTANT(grayColor, 0.5, 0.5, 0.5)
NSCOLOR_CONSTANT(lightGrayColor, 2.0 / 3, 2.0 / 3, 2.0 / 3)
NSCOLOR_CONSTANT(whiteColor, 1, 1, 1)
NSCOLOR_CONSTANT(redColor, 1, 0, 0)
NSCOLOR_CONSTANT(greenColor, 0, 1, 0)
NSCOLOR_CONSTANT(blueColor, 0, 0, 1)
NSCOLOR_CONSTANT(orangeColor, 1, 0.5, 0)
NSCOLOR_CONSTANT(yellowColor, 1, 1, 0)
NSCOLOR_CONSTANT(controlTextColor, 0, 0, 0)

#undef NSCOLOR_CONSTANT

NSColor* NSColor::colorNamed(const NSString* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (NSColor* (*method)() :
         {&blackColor, &darkGrayColor, &grayColor, &lightGrayColor, &whiteColor, &redColor,
          &greenColor, &blueColor, &orangeColor, &yellowColor, &controlTextColor}) {
        NSColor* color = method();
        if (std::strcmp(color->name(), name->UTF8String()) == 0) {
            return color;
        }
    }
    return nullptr;
}

NSString* NSColor::description() const {
    return NSString::stringWithFormat("NSColor %s", name_);
}
