// Windows of the application's own process, each backed by a window of that process in the
// simulated desktop. Frames are screen points, origin at the top left. Closing a window only
// takes it off the screen: the object lives as long as its owners keep it, and can be shown
// again.
#pragma once

#include <cstdint>
#include <vector>

#include "AppKit/NSView.h"

namespace frameworks {
class ViewElements;
}

class NSWindow : public NSObject {
public:
    // A new window (+1), not on screen.
    static NSWindow* create(NSRect frame, const NSString* title);

    NSString* title() const { return bridge(title_.get()); }
    void setTitle(const NSString* title);
    // Where the window stands now: the user may have dragged it by its title bar.
    NSRect frame() const;

    // Puts the window on screen in front of the other windows.
    void orderFront(id sender);
    void makeKeyAndOrderFront(id sender) { orderFront(sender); }
    // Takes the window off the screen.
    void orderOut(id sender);
    // The close button: the window has no delegate to refuse, so it closes.
    void performClose(id) { close(); }
    // Takes the window off the screen; the object stays, to be shown again.
    void close();

    // On screen: ordered in, and its application not hidden.
    bool isVisible() const;

    // The views of the window's content (retained by the window).
    void addSubview(NSView* view);
    const std::vector<RetainPtr<NSView*>>& subviews() const { return subviews_; }

    ~NSWindow() override;

    static Class class_() { return classOf<NSWindow>("NSWindow"); }

private:
    friend class frameworks::ViewElements;
    NSWindow(NSRect frame, const NSString* title);

    NSRect frame_;
    RetainPtr<CFStringRef> title_;
    std::vector<RetainPtr<NSView*>> subviews_;
    // The window of the application's process in the simulated desktop (0: none), and the
    // session it was made in.
    std::uint64_t node_ = 0;
    std::uint64_t generation_ = 0;
    // The accessibility elements of the views, in the order of the views (ViewElements).
    std::vector<std::uint64_t> viewNodes_;
};
