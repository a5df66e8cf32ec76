#include "AppKit/NSTextField.h"

NSTextField::NSTextField(NSRect frame)
    : NSControl(frame),
      stringValue_(retainPtr(CFSTR(""))),
      textColor_(NSColor::controlTextColor()) {}

NSTextField* NSTextField::create(NSRect frame) {
    return new NSTextField(frame);
}

void NSTextField::setStringValue(const NSString* string) {
    stringValue_ = string != nullptr ? adoptCF(CFStringCreateCopy(kCFAllocatorDefault, string))
                                     : retainPtr(CFSTR(""));
}
