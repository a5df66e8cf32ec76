// The views of the process's windows as accessibility elements under their window's element, as
// AppKit offers them to assistive applications: a text field is an AXStaticText whose value is
// its text, a push button an AXButton and a check box an AXCheckBox whose value is 0 or 1, each
// titled with the label it draws. Their frames are screen points: the window's content lies below
// its title bar.
#pragma once

#include <cstdint>

class NSWindow;

namespace frameworks {

class ViewElements {
public:
    // Makes the elements of the window's views when the window's desktop window has none for
    // them (a new window, new views, a new process), and brings their titles and values up to
    // what the views show now.
    static void update(NSWindow* window);
    // The same for every window of the process.
    static void updateAll();
    // The window's elements leave the tree (when still there) with the values they showed: the
    // window goes, or its views changed.
    static void forget(NSWindow* window);
    // The user's click on `node`, routed to it by the desktop: a button's own click when the node
    // stands for a button of one of the process's windows (a text field does nothing). False
    // when it stands for no view.
    static bool click(std::uint64_t node);
};

}  // namespace frameworks
