// Views: a rectangle of a window with an identifier. Controls are views.
#pragma once

#include "ApplicationServices/CGGeometry.h"
#include "Foundation/Foundation.h"
#include "RetainPtr.h"

using NSRect = CGRect;
using NSPoint = CGPoint;
using NSSize = CGSize;

inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
    return CGRectMake(x, y, width, height);
}

class NSWindow;

class NSView : public NSObject {
public:
    // In the window's coordinates, origin at the top left.
    NSRect frame() const { return frame_; }
    void setFrame(NSRect frame) { frame_ = frame; }

    // The name that identifies the view to the session and to tests, or nil.
    NSString* identifier() const { return bridge(identifier_.get()); }
    void setIdentifier(const NSString* identifier);

    // The window the view is in (not retained), or nil.
    NSWindow* window() const { return window_; }

    static Class class_() { return classOf<NSView>("NSView"); }

protected:
    explicit NSView(NSRect frame) : frame_(frame) {}

private:
    friend class NSWindow;

    NSRect frame_;
    RetainPtr<CFStringRef> identifier_;
    NSWindow* window_ = nullptr;
};
