// Text fields: a line of text in a colour.
#pragma once

#include "AppKit/NSColor.h"
#include "AppKit/NSControl.h"

class NSTextField : public NSControl {
public:
    // A new field (+1) with empty text in controlTextColor.
    static NSTextField* create(NSRect frame);

    // The text shown (borrowed: valid until the text changes or the field goes away).
    NSString* stringValue() const { return bridge(stringValue_.get()); }
    // Shows a copy of `string`; nil shows the empty string.
    void setStringValue(const NSString* string);

    NSColor* textColor() const { return textColor_; }
    // nil restores controlTextColor.
    void setTextColor(NSColor* color) {
        textColor_ = color != nullptr ? color : NSColor::controlTextColor();
    }

    static Class class_() { return classOf<NSTextField>("NSTextField"); }

private:
    explicit NSTextField(NSRect frame);

    RetainPtr<CFStringRef> stringValue_;
    NSColor* textColor_;  // colours are process-wide constants: nothing to retain
};
