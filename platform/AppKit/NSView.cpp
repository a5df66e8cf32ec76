#include "AppKit/NSView.h"

void NSView::setIdentifier(const NSString* identifier) {
    identifier_ = identifier != nullptr
                      ? adoptCF(CFStringCreateCopy(kCFAllocatorDefault, identifier))
                      : nullptr;
}
