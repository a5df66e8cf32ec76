// Controls: views that send an action message to a target when the user uses them.
#pragma once

#include "AppKit/NSView.h"
#include "Foundation/NSObjCRuntime.h"

class NSControl : public NSView {
public:
    // The object the action goes to (not retained), or nil.
    id target() const { return target_; }
    void setTarget(id target) { target_ = target; }
    SEL action() const { return action_; }
    void setAction(SEL action) { action_ = action; }

    // Sends `action` to `target` through the application object, with this control as the
    // sender; false when there is no action or the target does not respond to it.
    bool sendAction(SEL action, id target);

    static Class class_() { return classOf<NSControl>("NSControl"); }

protected:
    using NSView::NSView;

private:
    id target_ = nullptr;
    SEL action_ = nullptr;
};
