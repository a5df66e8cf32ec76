// Colours: named constants, as the class methods of NSColor give them (+[NSColor blackColor]).
// Each constant is one object for the whole process, so colours compare by identity too.
#pragma once

#include "Foundation/Foundation.h"

using CGFloat = double;

class NSColor : public NSObject {
public:
    static NSColor* blackColor();
    static NSColor* darkGrayColor();
    static NSColor* grayColor();
    static NSColor* lightGrayColor();
    static NSColor* whiteColor();
    static NSColor* redColor();
    static NSColor* greenColor();
    static NSColor* blueColor();
    static NSColor* orangeColor();
    static NSColor* yellowColor();
    // The colour of ordinary text in controls: what a text field shows until told otherwise.
    static NSColor* controlTextColor();

    // The constant whose name is `name` ("redColor", as the class method is called), or nil.
    static NSColor* colorNamed(const NSString* name);

    // The class method's name: "blackColor".
    const char* name() const { return name_; }
    CGFloat redComponent() const { return red_; }
    CGFloat greenComponent() const { return green_; }
    CGFloat blueComponent() const { return blue_; }
    CGFloat alphaComponent() const { return 1.0; }

    NSString* description() const override;
    static Class class_() { return classOf<NSColor>("NSColor"); }

private:
    static NSColor* constant(const char* name, CGFloat red, CGFloat green, CGFloat blue);
    NSColor(const char* name, CGFloat red, CGFloat green, CGFloat blue)
        : NSObject(Immortal{}), name_(name), red_(red), green_(green), blue_(blue) {}

    const char* name_;
    CGFloat red_;
    CGFloat green_;
    CGFloat blue_;
};
