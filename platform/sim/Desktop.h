// The simulated desktop: running applications, their windows and accessibility trees, the
// Dock and its items, the active application, hiding and accessibility access. Tests build
// worlds through it; the simulated platform calls read and change it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Foundation/Foundation.h"
#include "RetainPtr.h"
#include "sim/Screen.h"

namespace sim {

using NodeId = std::uint64_t;

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool contains(double px, double py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
};

inline constexpr pid_t kDockPid = 100;
inline constexpr pid_t kSystemPid = 400;
inline constexpr pid_t kFirstApplicationPid = 501;
// A process's serial number is {0, pid + this}.
inline constexpr std::uint32_t kProcessSerialNumberBase = 0x10000;
inline constexpr Rect kDefaultWindowFrame{200, 100, 800, 600};
inline constexpr const char* kDockBundleIdentifier = "com.apple.dock";
inline constexpr const char* kDockBundlePath = "/System/Library/CoreServices/Dock.app";
inline constexpr const char* kSystemBundleIdentifier = "org.quenfold.Quenfold";

enum class NodeKind { Application, Window, DockList, DockItem, Element };

// One node of an accessibility tree. Parents and children are node ids, so a tree of any
// depth is built and torn down without recursion.
struct Node {
    NodeId id = 0;
    pid_t pid = 0;
    NodeKind kind = NodeKind::Element;
    NodeId parent = 0;
    std::vector<NodeId> children;
    std::u16string role;
    std::optional<std::u16string> subrole;
    std::optional<std::u16string> title;
    std::optional<std::u16string> description;
    std::optional<Rect> frame;
    std::vector<std::u16string> actions;
    RetainPtr<CFTypeRef> url;  // a Dock item's AXURL: a string or a URL object
    pid_t itemOwner = 0;       // the application a Dock item belongs to (0: none)
    bool visible = true;       // windows: on screen (ordered in)
    // Attribute values set by a test; they take the place of the computed ones.
    std::vector<std::pair<std::u16string, RetainPtr<CFTypeRef>>> overrides;
};

struct Application {
    pid_t pid = 0;
    std::u16string name;
    std::u16string bundleIdentifier;
    std::optional<std::u16string> bundlePath;
    bool hidden = false;
    bool foreground = true;  // a regular application with a Dock icon; agents are not
    bool backgroundOnly = false;
    // Whether it is hidden as its running-application objects tell, which changes only when
    // the main run loop turns (see publishApplicationStates).
    bool publishedHidden = false;
    NodeId root = 0;
    NodeId dockItem = 0;
};

struct ApplicationSpec {
    std::string name;
    pid_t pid = 0;  // 0: the next free one from 501
    std::optional<std::string>
        bundleIdentifier;                      // default com.example.<name, lowercased, no blanks>
    std::optional<std::string> bundlePath;     // default /Applications/<name>.app
    bool noBundle = false;                     // a process without a bundle
    std::optional<std::string> dockItemTitle;  // default the name
    bool dockItem = true;
    bool hidden = false;
    bool agent = false;           // no Dock icon, and never active just by starting
    bool backgroundOnly = false;  // no user interface at all: it can never be made active
};

struct ElementSpec {
    std::string role = "AXGroup";
    std::optional<std::string> subrole;
    std::optional<std::string> title;
    std::optional<std::string> description;
    std::optional<Rect> frame;
    std::vector<std::string> actions;
};

struct DockItemSpec {
    std::string title;
    std::string subrole = "AXFolderDockItem";
    std::optional<std::string> url;
    bool urlObject = false;  // AXURL as a URL object instead of a string
};

class Desktop {
public:
    // A fresh desktop: the Dock (pid 100, no items) and the system's own agent process.
    void reset(const std::string& systemBundlePath);

    // Building worlds.
    pid_t addApplication(const ApplicationSpec& setup);
    NodeId addWindow(pid_t pid, const std::string& title, Rect frame = kDefaultWindowFrame,
                     bool visible = true);
    NodeId addElement(NodeId parent, const ElementSpec& setup);
    NodeId addDockItem(const DockItemSpec& setup);
    // A value that replaces the computed value of an attribute; null removes the override.
    void setAttribute(NodeId node, const std::string& name, CFTypeRef value);
    void setTitle(NodeId node, const std::string& title);
    void setActions(NodeId node, const std::vector<std::string>& actions);

    // What the user, the Dock or the platform does.
    void activate(pid_t pid, bool allWindows = true);
    void hide(pid_t pid);
    void unhide(pid_t pid);
    void quit(pid_t pid);
    void setAccessEnabled(bool enabled);
    void orderWindowFront(NodeId window);
    void closeWindow(NodeId window);
    void makeForeground(pid_t pid);
    // The workspace is asked to open a URL (its text).
    void openURL(const std::string& url);
    // A hide request of -[NSRunningApplication hide]: carried out at the next world turn.
    void requestHide(pid_t pid);
    void applyPendingHides();
    // An activation the Process Manager scheduled (SetFrontProcess): carried out at the next
    // world turn, after the pending hides, unless the application has quit by then.
    void requestActivation(pid_t pid, bool allWindows);
    void applyPendingActivations();
    // The hidden and active state that running-application objects report catches up with the
    // desktop; the main run loop does this at each turn in a common mode.
    void publishApplicationStates();
    // The Dock's and the windows' own response to a mouse event that passed the taps.
    void routeMouseEvent(std::uint32_t type, double x, double y);
    // The active application's response to a key event that passed the taps: Command-H hides
    // it, Command-Option-H the others, Command-Q quits it, Command-W closes its front window;
    // Command-Tab and Command-Shift-Tab choose the next or previous application in the
    // switcher, which becomes active when Command is released (DesktopKeyboard.cpp).
    void routeKeyEvent(std::uint32_t type, std::uint16_t key, std::uint64_t flags);
    // The applications the switcher offers: regular applications, most recently active first,
    // then the others in launch order.
    std::vector<pid_t> switcherOrder() const;

    // Questions.
    bool accessEnabled() const { return accessEnabled_; }
    std::optional<pid_t> activePid() const { return active_; }
    // The active application as running-application objects tell, as of the last turn.
    std::optional<pid_t> publishedActivePid() const { return publishedActive_; }
    const Application* application(pid_t pid) const;
    // Running applications in the order they were launched.
    std::vector<pid_t> runningPids() const { return launchOrder_; }
    std::optional<pid_t> pidNamed(const std::string& name) const;
    const Node* node(NodeId id) const;
    // The application root node of a process, or 0.
    NodeId rootOf(pid_t pid) const;
    std::optional<NodeId> dockItemTitled(const std::string& title) const;
    std::optional<NodeId> frontWindowTitled(const std::string& title) const;
    // Windows of an application on screen, front to back.
    std::vector<NodeId> windowsOf(pid_t pid) const;
    // The windows of every application that are ordered in, front to back (a hidden
    // application's windows among them).
    const std::vector<NodeId>& windowOrder() const { return windowOrder_; }
    std::vector<NodeId> dockItems() const;
    // The deepest element under the point: the Dock first, then the windows front to back;
    // with `onlyPid`, elements of that application only.
    std::optional<NodeId> hitTest(double x, double y, std::optional<pid_t> onlyPid = {}) const;
    int hideRequestCount() const { return hideRequests_; }
    // Where the search for the next free process identifier starts (it never goes back).
    pid_t nextPid() const { return nextPid_; }
    const std::vector<std::string>& openedURLs() const { return openedURLs_; }
    std::string nameOf(pid_t pid) const;

private:
    NodeId newNode(pid_t pid, NodeKind kind, NodeId parent, std::u16string role);
    void removeSubtree(NodeId id);
    void layoutDock();
    void setActive(std::optional<pid_t> pid);
    void activateNextAfter(pid_t leaving);
    std::optional<NodeId> deepestAt(NodeId start, double x, double y) const;
    Application* mutableApplication(pid_t pid);

    std::map<pid_t, Application> applications_;
    std::vector<pid_t> launchOrder_;
    std::unordered_map<NodeId, Node> nodes_;
    NodeId nextNode_ = 1;
    NodeId dockList_ = 0;
    std::vector<NodeId> windowOrder_;  // on-screen windows of every application, front to back
    std::optional<pid_t> active_;
    std::optional<pid_t> publishedActive_;
    std::vector<pid_t> recentlyActive_;    // most recent first
    std::optional<pid_t> switcherChoice_;  // while Command-Tab is held
    std::vector<pid_t> pendingHides_;
    std::vector<std::pair<pid_t, bool>> pendingActivations_;  // pid, all windows
    int hideRequests_ = 0;
    std::vector<std::string> openedURLs_;
    bool accessEnabled_ = true;
    pid_t nextPid_ = kFirstApplicationPid;
};

Desktop& desktop();

// Where the system's own bundle lives: set by tests, otherwise found from the executable
// (the Quenfold.app folder around Contents/MacOS).
void setMainBundlePath(const std::string& path);
std::string mainBundlePath();

// A fresh session, as if a new login had started: every part of the session and of the
// frameworks' process-wide state is renewed, in the order written out in Session.cpp.
void reset();

}  // namespace sim
