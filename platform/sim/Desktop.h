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
// A window's frame includes its title bar, which holds the close and minimise buttons; a moved
// window's title bar stays below the menu bar.
inline constexpr double kTitleBarHeight = 28;
inline constexpr double kMenuBarHeight = 25;
inline constexpr Rect kCloseButtonFrame{12, 8, 12, 12};  // within the window
inline constexpr Rect kMinimizeButtonFrame{32, 8, 12, 12};
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
    std::optional<std::string> url;  // a Dock item's AXURL
    bool urlIsObject = false;        // the AXURL is a URL object; otherwise a string
    pid_t itemOwner = 0;             // the application a Dock item belongs to (0: none)
    bool visible = true;             // windows: on screen (ordered in)
    bool minimized = false;          // windows: in the Dock instead of on screen
    NodeId itemWindow = 0;           // a minimised window's Dock item: that window
    bool launching = false;          // a Dock item: its application is starting (it bounces)
    std::optional<std::u16string> markChar;  // a menu item: its check mark (AXMenuItemMarkChar)
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
    // The system's own process: pid 400 at first; after it quit, a new agent process with the
    // next free pid stands for the next launch.
    pid_t systemPid() const { return systemPid_; }
    void startSystemProcess(const std::string& systemBundlePath);
    // A launch of the system starts counting its hide requests afresh.
    void systemLaunches() {
        hideRequests_ = 0;
        lastHideRequest_.reset();
    }

    // Building worlds.
    pid_t addApplication(const ApplicationSpec& setup);
    NodeId addWindow(pid_t pid, const std::string& title, Rect frame = kDefaultWindowFrame,
                     bool visible = true);
    NodeId addElement(NodeId parent, const ElementSpec& setup);
    NodeId addDockItem(const DockItemSpec& setup);
    // An element and everything under it leave the tree.
    void removeElement(NodeId node);
    void setTitle(NodeId node, const std::string& title);
    void setActions(NodeId node, const std::vector<std::string>& actions);

    // The Dock's own configuration, which outlives the Dock's process and the user's session
    // (DockKeeping.cpp). An application's item kept in the Dock stays while the application does
    // not run (an item is added for it when it has none), and a click on it launches the
    // application again.
    void keepInDock(const ApplicationSpec& setup);
    // How a running application starts again: its name, bundle and Dock item title.
    ApplicationSpec specOf(pid_t pid) const;
    std::vector<std::string> keptApplicationNames() const;
    // Finder runs, its item first in the Dock; it is active when no other application is, and
    // starts again when it quits, unless the user is logging out.
    void startFinder();
    bool finderWanted() const { return finderWanted_; }
    // The Trash at the end of the Dock, after a separator that divides applications from
    // folders and links (items added later join their side).
    void addTrash();
    // The Dock starts again after it quit, with its kept items and the Trash; after it quit by
    // itself, with the items it had, in their order.
    void startDock();
    // The system starts the Dock again this long after it quit by itself.
    static constexpr double kDockRestartSeconds = 0.5;
    // A kept item's application starting bounces its item this long.
    static constexpr double kLaunchBounceSeconds = 1.0;
    // While the user logs out, nothing starts again by itself.
    void setLoggingOut(bool loggingOut) { loggingOut_ = loggingOut; }
    // Between a logout and the next login nothing runs and nothing starts by itself.
    void setLoggedOut(bool loggedOut) { loggedOut_ = loggedOut; }
    bool loggedOut() const { return loggedOut_; }

    // What the user, the Dock or the platform does.
    void activate(pid_t pid, bool allWindows = true);
    void hide(pid_t pid);
    void unhide(pid_t pid);
    // `told`: the transcript says it quit (not for the system's agent that never launched).
    void quit(pid_t pid, bool told = true);
    void setAccessEnabled(bool enabled);
    void orderWindowFront(NodeId window);
    void closeWindow(NodeId window);
    void makeForeground(pid_t pid);
    // The workspace is asked to open a URL (its text): a file URL opens as from the Finder
    // (see sim/OpenFile.h), and every request is kept for the expectations.
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
    // The Dock's and the windows' own response to a mouse event that passed the taps. The
    // mouse is captured as by the window server: a left release goes to whatever received the
    // press it ends, and acts (a Dock item's click, a control's) only when it comes back over
    // that very item or control.
    enum class MouseEvent { LeftDown, LeftDragged, LeftUp, RightDown, RightUp, Other };
    void routeMouseEvent(MouseEvent event, double x, double y, std::uint64_t flags = 0);
    // Who carries the Dock's request that an application reopen to that application's process
    // (its frameworks); kept across resets.
    void setReopenHandler(std::function<void(pid_t)> handler) {
        reopenHandler_ = std::move(handler);
    }
    // Who starts the application of a kept Dock item that was clicked while it did not run (the
    // Dock asks Launch Services, which knows how each bundle starts); kept across resets.
    void setLaunchHandler(std::function<void(const ApplicationSpec&)> handler) {
        launchHandler_ = std::move(handler);
    }
    // Who acts on a click on an element of an application's window (a control, a row): the
    // application that owns it; kept across resets.
    void setControlHandler(std::function<void(NodeId)> handler) {
        controlHandler_ = std::move(handler);
    }
    // An element is clicked or pressed (AXPress): a window's close or minimise button acts as
    // the window server has it; on any other element its application acts.
    void pressElement(NodeId node) {
        if (!pressWindowButton(node) && controlHandler_) {
            controlHandler_(node);
        }
    }
    // Who opens a URL the workspace was asked to open (its text), as the Finder would a file
    // URL's file (an application launches, a preference pane opens System Preferences); kept
    // across resets.
    void setOpenHandler(std::function<void(const std::string& url)> handler) {
        openHandler_ = std::move(handler);
    }
    // The active application's response to a key event that passed the taps: Command-H hides
    // it, Command-Option-H the others, Command-Q quits it, Command-W closes its front window;
    // Command-Tab and Command-Shift-Tab choose the next or previous application in the
    // switcher, which becomes active when Command is released (DesktopKeyboard.cpp).
    void routeKeyEvent(std::uint32_t type, std::uint16_t key, std::uint64_t flags);
    // The applications the switcher offers: regular applications, most recently active first,
    // then the others in launch order.
    std::vector<pid_t> switcherOrder() const;
    // The application the switcher has chosen while Command is held after Command-Tab; none
    // while the switcher is not on screen.
    std::optional<pid_t> switcherChoice() const { return switcherChoice_; }
    // A command the user gives an application from the keyboard; the handler carries it out
    // when the application has code of its own (the system's process) and answers whether it
    // did; otherwise the desktop does what the application would. Kept across resets.
    enum class AppCommand { Quit, CloseWindow };
    void setCommandHandler(std::function<bool(pid_t, AppCommand)> handler) {
        commandHandler_ = std::move(handler);
    }

    // Windows that move (WindowMoves.cpp). A window moves with everything in it; its title bar
    // stays below the menu bar. A minimised window leaves the screen for a Dock item at the
    // Dock's right, before the Trash; a click on that item or ordering the window front brings
    // it back.
    void moveWindow(NodeId window, double x, double y);
    void minimizeWindow(NodeId window);
    void restoreWindow(NodeId window);
    // An application's minimised windows, in the order they were minimised.
    std::vector<NodeId> minimizedWindowsOf(pid_t pid) const;
    // The Dock's menus (DockMenu.cpp). A right press on a Dock item, or a left press held on it
    // for kDockMenuHoldSeconds, shows the item's menu above it: an AXMenu of the Dock's
    // application (beside its AXList) whose AXMenuItem children are the application's windows,
    // Options (a submenu: Keep in Dock, Open at Login, Show in Finder), Show All or Hide, and
    // Quit; an item whose application does not run offers Options and Open. While a menu is on
    // screen it takes the mouse: a release on one of its items chooses it, a press anywhere
    // else puts it away and goes no further.
    static constexpr double kDockMenuHoldSeconds = 1.0;
    void showDockMenu(NodeId item);
    void closeDockMenu();
    bool dockMenuShown() const { return dockMenu_ != 0; }
    // The menus on screen, the item's own first, then its open submenu.
    std::vector<NodeId> menusOnScreen() const;
    // The enabled item titled so in a menu on screen.
    std::optional<NodeId> menuItemTitled(const std::string& title) const;
    // The Dock item a menu on screen belongs to, or 0.
    NodeId dockMenuOwner() const { return dockMenuItem_; }
    // Who runs the desktop's delayed work on the main run loop (a held press, the Dock's
    // restart, the end of a launch's bounce) after `seconds`; kept across resets.
    void setDelayHandler(std::function<void(double seconds, std::function<void()>)> handler) {
        delayHandler_ = std::move(handler);
    }
    // Who reads and changes the user's login-item list for Open at Login, as the list's own
    // owner (Launch Services) does: whether an application bundle is listed, and adding or
    // removing it; kept across resets.
    void setLoginItemHandlers(std::function<bool(const std::string& path)> listed,
                              std::function<void(const std::string& path, bool add)> change) {
        loginItemListed_ = std::move(listed);
        loginItemChange_ = std::move(change);
    }

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
    // The control (an element that can be pressed) titled so in the frontmost window on screen
    // that has one, a hidden application's windows left out.
    std::optional<NodeId> frontControlTitled(const std::string& title) const;
    // Whether a check box is ticked (its AXValue is 1); nothing for an element without a
    // Windows of an application on screen, front to back.
    std::vector<NodeId> windowsOf(pid_t pid) const;
    // The windows of every application that are ordered in, front to back (a hidden
    // application's windows among them).
    const std::vector<NodeId>& windowOrder() const { return windowOrder_; }
    std::vector<NodeId> dockItems() const;
    // The deepest element under the point: the Dock first, then the windows front to back;
    // with `onlyPid`, elements of that application only.
    std::optional<NodeId> hitTest(double x, double y, std::optional<pid_t> onlyPid = {}) const;
    // Hide requests since the system's process launched.
    int hideRequestCount() const { return hideRequests_; }
    // The name of the application the last of them went to.
    const std::optional<std::string>& lastHideRequest() const { return lastHideRequest_; }
    // Applications that have been active, most recent first.
    const std::vector<pid_t>& recentlyActive() const { return recentlyActive_; }
    // Where the search for the next free process identifier starts (it never goes back).
    pid_t nextPid() const { return nextPid_; }
    const std::vector<std::string>& openedURLs() const { return openedURLs_; }
    std::string nameOf(pid_t pid) const;

private:
    std::function<void(pid_t)> reopenHandler_;
    std::function<void(const ApplicationSpec&)> launchHandler_;
    std::function<void(NodeId)> controlHandler_;
    std::function<void(const std::string&)> openHandler_;
    std::function<bool(pid_t, AppCommand)> commandHandler_;
    NodeId newNode(pid_t pid, NodeKind kind, NodeId parent, std::u16string role);
    void removeSubtree(NodeId id);
    void layoutDock();
    void setActive(std::optional<pid_t> pid);
    void activateNextAfter(pid_t leaving);
    std::optional<NodeId> deepestAt(NodeId start, double x, double y) const;
    Application* mutableApplication(pid_t pid);

    // Windows that move (WindowMoves.cpp).
    void addWindowButtons(NodeId window);
    // A press on a title bar starts a drag that the pointer's moves and the release carry on;
    // true when the event belonged to one.
    bool routeWindowDrag(MouseEvent event, double x, double y);
    // A click on a window's close or minimise button; false for any other element.
    bool pressWindowButton(NodeId element);
    NodeId addMinimizedItem(NodeId window);
    // The Dock's right side in its order: the separator, the minimised windows, the Trash.
    void orderDockItems();
    void removeMinimizedItem(NodeId window);
    struct WindowDrag {
        NodeId window = 0;
        double grabX = 0;  // the pointer within the window at the press
        double grabY = 0;
        Rect start;  // its frame at the press
    };
    std::optional<WindowDrag> drag_;
    std::vector<NodeId> minimizedOrder_;  // minimised windows, first minimised first

    std::map<pid_t, Application> applications_;
    std::vector<pid_t> launchOrder_;
    std::unordered_map<NodeId, Node> nodes_;
    NodeId nextNode_ = 1;
    NodeId dockList_ = 0;
    std::vector<NodeId> windowOrder_;  // on-screen windows of every application, front to back
    std::optional<pid_t> active_;
    std::optional<pid_t> publishedActive_;
    std::vector<pid_t> recentlyActive_;  // most recent first
    // What received the left press that is down (its node, 0 for nothing), until its release.
    std::optional<NodeId> pressReceiver_;
    std::optional<pid_t> switcherChoice_;  // while Command-Tab is held
    std::vector<pid_t> pendingHides_;
    std::vector<std::pair<pid_t, bool>> pendingActivations_;  // pid, all windows
    int hideRequests_ = 0;
    std::optional<std::string> lastHideRequest_;
    std::vector<std::string> openedURLs_;
    bool accessEnabled_ = true;
    pid_t nextPid_ = kFirstApplicationPid;
    pid_t systemPid_ = kSystemPid;

    // The Dock's configuration (DockKeeping.cpp).
    struct KeptItem {
        ApplicationSpec setup;  // how its application starts again
        NodeId node = 0;        // its item while the Dock runs
    };
    KeptItem* keptItemFor(const Application& app);
    // The item of a starting application: its kept one when there is one, else a new one.
    NodeId dockItemFor(pid_t pid, const std::string& title);
    // An application that quits leaves its kept item in the Dock; false when it has none.
    bool leaveKeptItem(const Application& app);
    void afterQuit(pid_t pid);
    void launchFromKeptItem(NodeId item);
    std::vector<KeptItem> keptItems_;
    bool finderWanted_ = false;
    pid_t finderPid_ = 0;
    bool trash_ = false;
    NodeId trashSeparator_ = 0;
    bool loggingOut_ = false;
    bool loggedOut_ = false;
    // The Dock's items as they stood when it quit (by itself, or at a logout), so that it starts
    // with the same.
    struct RememberedItem {
        DockItemSpec setup;
        pid_t owner = 0;
    };
    std::vector<RememberedItem> itemsBeforeQuit_;
    void rememberDockItems();
    void restoreDockItems();
    void unkeep(const ApplicationSpec& setup);
    void later(double seconds, std::function<void()> work);

    // The Dock's menus (DockMenu.cpp).
    enum class MenuCommand {
        None,
        Window,
        Options,
        KeepInDock,
        OpenAtLogin,
        ShowInFinder,
        ShowAll,
        Hide,
        Quit,
        Open
    };
    struct MenuEntry {
        MenuCommand command = MenuCommand::None;
        NodeId window = 0;
    };
    // A menu on screen takes the mouse event; false when none is on screen or the event starts
    // the hold of a press on a Dock item and goes on to the Dock.
    bool routeToDockMenu(MouseEvent event, double x, double y);
    NodeId addMenu(Rect anchor, double left);
    NodeId addMenuItem(NodeId menu, const std::string& title, MenuEntry entry, bool marked = false);
    void chooseMenuItem(NodeId item);
    std::optional<NodeId> menuAt(double x, double y) const;
    NodeId dockMenu_ = 0;
    NodeId dockSubmenu_ = 0;
    NodeId dockMenuItem_ = 0;
    std::unordered_map<NodeId, MenuEntry> menuEntries_;
    bool swallowRelease_ = false;
    std::uint64_t pressSerial_ = 0;  // the left presses so far: a hold belongs to one of them
    std::function<void(double, std::function<void()>)> delayHandler_;
    std::function<bool(const std::string&)> loginItemListed_;
    std::function<void(const std::string&, bool)> loginItemChange_;
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
