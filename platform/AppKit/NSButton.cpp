#include "AppKit/NSButton.h"

#include "Foundation/NSUserDefaults.h"
#include "Foundation/NSUserDefaultsInternal.h"

NSButton* NSButton::create(NSButtonType type, const NSString* title, NSRect frame) {
    auto* button = new NSButton(type, frame);
    button->setTitle(title);
    return button;
}

void NSButton::setTitle(const NSString* title) {
    title_ = adoptCF(CFStringCreateCopy(kCFAllocatorDefault, title != nullptr ? title : CFSTR("")));
}

NSControlStateValue NSButton::state() const {
    if (boundKey_) {
        return NSUserDefaults::standardUserDefaults()->boolForKey(boundKey_.get())
                   ? NSControlStateValueOn
                   : NSControlStateValueOff;
    }
    return state_;
}

void NSButton::bindValueToUserDefaultsKey(const NSString* key) {
    boundKey_ = key != nullptr ? adoptCF(CFStringCreateCopy(kCFAllocatorDefault, key)) : nullptr;
}

void NSButton::performClick(id) {
    // The action may let go of the window that holds this button.
    RetainPtr<NSButton*> keepAlive = retainPtr(this);
    if (type_ == NSButtonTypeSwitch) {
        const bool on = state() != NSControlStateValueOn;
        if (boundKey_) {
            // A value the preferences file refuses is not kept: the switch shows what is stored.
            frameworks::setBoundUserDefault(boundKey_.get(), on ? kCFBooleanTrue : kCFBooleanFalse);
        } else {
            state_ = on ? NSControlStateValueOn : NSControlStateValueOff;
        }
    }
    sendAction(action(), target());
}
