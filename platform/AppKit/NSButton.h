// Buttons: push buttons that send their action, and check boxes (switches) with an on or off
// state. A switch's value can be bound to a key of the standard user defaults, as a binding to
// the shared user defaults controller's "values.KEY" does: it then shows the stored value, and
// the user's click stores the new value before the action is sent.
#pragma once

#include "AppKit/NSControl.h"

using NSButtonType = NSUInteger;
enum : NSButtonType {
    NSButtonTypeSwitch = 3,
    NSButtonTypeMomentaryPushIn = 7,
};

using NSControlStateValue = NSInteger;
enum : NSControlStateValue {
    NSControlStateValueOff = 0,
    NSControlStateValueOn = 1,
};

class NSButton : public NSControl {
public:
    // A new button (+1), off.
    static NSButton* create(NSButtonType type, const NSString* title, NSRect frame);

    NSButtonType buttonType() const { return type_; }
    NSString* title() const { return bridge(title_.get()); }
    void setTitle(const NSString* title);

    // A bound switch answers the stored value of its key, read afresh each time.
    NSControlStateValue state() const;
    // Changes what an unbound button shows. Only the user's click writes a bound value.
    void setState(NSControlStateValue state) { state_ = state; }

    // Binds the switch's value to `key` of the standard user defaults; nil unbinds it.
    void bindValueToUserDefaultsKey(const NSString* key);
    NSString* boundUserDefaultsKey() const { return bridge(boundKey_.get()); }

    // The user's click. A switch turns over (a bound one stores its new value first); then
    // the action, if any, goes to the target.
    void performClick(id sender);

    static Class class_() { return classOf<NSButton>("NSButton"); }

private:
    NSButton(NSButtonType type, NSRect frame) : NSControl(frame), type_(type) {}

    NSButtonType type_;
    RetainPtr<CFStringRef> title_;
    NSControlStateValue state_ = NSControlStateValueOff;
    RetainPtr<CFStringRef> boundKey_;
};
