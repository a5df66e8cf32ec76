// Interface files: the objects of an application's interface, described in a property list,
// made, connected and woken up as a nib is loaded.
//
// The file (XML or binary property list) is a dictionary:
//
//   InterfaceFileVersion  integer, 1
//   Objects               array of object descriptions, made in this order
//   Connections           array of connections, made once every object exists (optional)
//
// An object description is a dictionary with
//   ID     string naming the object in Connections, unique in the file ("NSApp" is reserved:
//          the application object, which owns the main interface file)
//   Class  "NSWindow", or a class registered with the runtime (NSObjCRuntime.h)
// and, for a window:
//   Title            string
//   Frame            array of four numbers: x, y, width, height, in screen points, origin at
//                    the top left
//   VisibleAtLaunch  boolean, default false: put on screen once the file is loaded
//   Views            array of view descriptions (optional)
// A view description is a dictionary with Class "NSTextField" or "NSButton" and
//   ID          string (optional): a name for Connections, unique in the file
//   Identifier  string (optional): the view's identifier (NSView identifier)
//   Frame       as above, in the window's coordinates
// and, for a text field:
//   StringValue  string (optional, default empty)
//   TextColor    the name of an NSColor constant, e.g. "redColor" (default controlTextColor)
// and, for a button:
//   ButtonType       "switch" (a check box) or "push"
//   Title            string
//   UserDefaultsKey  string (switches only): the switch's value is bound to this key of the
//                    standard user defaults
//
// A connection is a dictionary with Type "outlet" or "action":
//   outlet:  Source (ID), Outlet (name), Destination (ID). The outlets are those the source's
//            registered class declares; the application object ("NSApp") has one, "delegate",
//            which takes an object whose class adopts NSApplicationDelegate.
//   action:  Source (the ID of a control), Action (a selector such as "changeSetting:"),
//            Target (ID of an object whose registered class responds to that selector). A
//            control has at most one action.
//
// Loading checks the whole file first: a wrong type, a missing or unknown key, an unknown
// class, colour, selector or outlet, or a reference to an ID that does not exist is reported
// with the place where it was found, and nothing is made. Then the objects are made in order
// (each registered class receives initialize before its first instance), the views go into
// their windows, the connections are made (an outlet given an object of the wrong type undoes
// the whole load), awakeFromNib is sent to every object of a registered class, in file order,
// and the windows marked VisibleAtLaunch are put on screen.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/Foundation.h"
#include "RetainPtr.h"

class NSApplication;
class NSWindow;

namespace frameworks {

// What a loaded file made. It holds the file's top-level objects (the windows hold their
// views); outlets and the application's delegate do not retain, so the loaded interface must
// outlive their use.
class LoadedInterface {
public:
    // The object with that ID (a top-level object or a view), or nil.
    id objectWithID(std::string_view identifier) const;
    // The file's windows, in file order.
    std::vector<NSWindow*> windows() const;
    const std::vector<RetainPtr<id>>& topLevelObjects() const { return topLevel_; }

private:
    friend class InterfaceBuilder;
    std::vector<RetainPtr<id>> topLevel_;
    std::vector<std::pair<std::string, id>> byID_;
};

// Loads the interface that `root` describes, with `owner` as the application object ("NSApp";
// may be nil when the file does not refer to it). Null, with the reason, when it cannot.
std::unique_ptr<LoadedInterface> loadInterface(CFTypeRef root, NSApplication* owner,
                                               std::string* error);
// Reads the file at `path` and loads it; the reason names the file.
std::unique_ptr<LoadedInterface> loadInterfaceFile(const std::string& path, NSApplication* owner,
                                                   std::string* error);

}  // namespace frameworks
