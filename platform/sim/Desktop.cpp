#include "sim/Desktop.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "sim/FileSystem.h"
#include "sim/Keyboard.h"
#include "sim/Transcript.h"
#include "sim/UTF16.h"

namespace sim {
namespace {

std::optional<std::u16string> optionalUTF16(const std::optional<std::string>& text) {
    return text ? std::optional<std::u16string>(utf16FromUTF8(*text)) : std::nullopt;
}

[[noreturn]] void misuse(const std::string& what) {
    std::fprintf(stderr, "simulated desktop: %s\n", what.c_str());
    std::abort();
}

std::string gMainBundlePath;

}  // namespace

Desktop& desktop() {
    static Desktop instance;
    return instance;
}

void setMainBundlePath(const std::string& path) {
    gMainBundlePath = path;
}

std::string mainBundlePath() {
    if (!gMainBundlePath.empty()) {
        return gMainBundlePath;
    }
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "/Applications/Quenfold.app";
    }
    // …/Quenfold.app/Contents/MacOS/Quenfold
    const std::filesystem::path macos = executable.parent_path();
    if (macos.filename() == "MacOS" && macos.parent_path().filename() == "Contents") {
        return macos.parent_path().parent_path().string();
    }
    return macos.string();
}

void Desktop::reset(const std::string& systemBundlePath) {
    applications_.clear();
    launchOrder_.clear();
    nodes_.clear();
    nextNode_ = 1;
    windowOrder_.clear();
    active_.reset();
    publishedActive_.reset();
    recentlyActive_.clear();
    switcherChoice_.reset();
    pendingHides_.clear();
    pendingActivations_.clear();
    hideRequests_ = 0;
    lastHideRequest_.reset();
    pressReceiver_.reset();
    drag_.reset();
    minimizedOrder_.clear();
    openedURLs_.clear();
    accessEnabled_ = true;
    nextPid_ = kFirstApplicationPid;

    keptItems_.clear();
    finderWanted_ = false;
    finderPid_ = 0;
    trash_ = false;
    trashSeparator_ = 0;
    loggingOut_ = false;
    loggedOut_ = false;
    itemsBeforeQuit_.clear();
    dockMenu_ = 0;
    dockSubmenu_ = 0;
    dockMenuItem_ = 0;
    menuEntries_.clear();
    swallowRelease_ = false;
    pressSerial_ = 0;
    startDock();
    systemPid_ = 0;
    startSystemProcess(systemBundlePath);
    addVirtualDirectory("/System/Library/PreferencePanes/UniversalAccessPref.prefPane");
}

void Desktop::startSystemProcess(const std::string& systemBundlePath) {
    if (systemPid_ != 0 && applications_.count(systemPid_) != 0) {
        return;
    }
    ApplicationSpec system;
    system.name = std::filesystem::path(systemBundlePath).stem().string();
    // The first process of a session is pid 400; every later one takes the next free pid.
    system.pid = systemPid_ == 0 ? kSystemPid : 0;
    system.bundleIdentifier = kSystemBundleIdentifier;
    system.bundlePath = systemBundlePath;
    system.dockItem = false;
    system.agent = true;
    systemPid_ = addApplication(system);
}

NodeId Desktop::newNode(pid_t pid, NodeKind kind, NodeId parent, std::u16string role) {
    const NodeId id = nextNode_++;
    Node& node = nodes_[id];
    node.id = id;
    node.pid = pid;
    node.kind = kind;
    node.parent = parent;
    node.role = std::move(role);
    if (parent != 0) {
        nodes_.at(parent).children.push_back(id);
    }
    return id;
}

void Desktop::removeSubtree(NodeId id) {
    auto found = nodes_.find(id);
    if (found == nodes_.end()) {
        return;
    }
    if (found->second.parent != 0) {
        if (auto parent = nodes_.find(found->second.parent); parent != nodes_.end()) {
            std::erase(parent->second.children, id);
        }
    }
    std::vector<NodeId> pending{id};
    while (!pending.empty()) {
        const NodeId current = pending.back();
        pending.pop_back();
        auto node = nodes_.find(current);
        if (node == nodes_.end()) {
            continue;
        }
        pending.insert(pending.end(), node->second.children.begin(), node->second.children.end());
        std::erase(windowOrder_, current);
        if (node->second.minimized) {
            removeMinimizedItem(current);  // another subtree: this node stays where it is
        }
        nodes_.erase(current);
    }
}

void Desktop::removeElement(NodeId id) {
    removeSubtree(id);
}

Application* Desktop::mutableApplication(pid_t pid) {
    auto found = applications_.find(pid);
    return found == applications_.end() ? nullptr : &found->second;
}

const Application* Desktop::application(pid_t pid) const {
    auto found = applications_.find(pid);
    return found == applications_.end() ? nullptr : &found->second;
}

std::string Desktop::nameOf(pid_t pid) const {
    const Application* app = application(pid);
    return app ? utf8FromUTF16(app->name) : "pid " + std::to_string(pid);
}

pid_t Desktop::addApplication(const ApplicationSpec& setup) {
    pid_t pid = setup.pid;
    if (pid == 0) {
        while (applications_.count(nextPid_) != 0) {
            ++nextPid_;
        }
        pid = nextPid_++;
    }
    if (pid <= 0 || applications_.count(pid) != 0) {
        misuse("process identifier " + std::to_string(pid) + " is taken");
    }
    Application app;
    app.pid = pid;
    app.name = utf16FromUTF8(setup.name);
    std::string identifier = "com.example.";
    for (char c : setup.name) {
        if (c != ' ' && c != '\t') {
            identifier += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    app.bundleIdentifier = utf16FromUTF8(setup.bundleIdentifier.value_or(identifier));
    if (!setup.noBundle) {
        const std::string path = setup.bundlePath.value_or("/Applications/" + setup.name + ".app");
        app.bundlePath = utf16FromUTF8(path);
        addVirtualDirectory(path);
    }
    app.hidden = setup.hidden;
    app.publishedHidden = setup.hidden;  // as it started: nothing has changed yet to catch up
    app.foreground = !setup.agent && !setup.backgroundOnly;
    app.backgroundOnly = setup.backgroundOnly;
    applications_[pid] = app;
    launchOrder_.push_back(pid);
    Application& stored = applications_[pid];
    stored.root = newNode(pid, NodeKind::Application, 0, u"AXApplication");
    record(setup.name + " is running (pid " + std::to_string(pid) + ")" +
           (setup.hidden ? ", hidden" : ""));
    if (setup.dockItem) {
        const NodeId item = dockItemFor(pid, setup.dockItemTitle.value_or(setup.name));
        applications_.at(pid).dockItem = item;
    }
    if (!active_ && !setup.hidden && !setup.agent && !setup.backgroundOnly) {
        setActive(pid);
    }
    return pid;
}

NodeId Desktop::addWindow(pid_t pid, const std::string& title, Rect frame, bool visible) {
    Application* app = mutableApplication(pid);
    if (app == nullptr) {
        misuse("no application with pid " + std::to_string(pid));
    }
    const NodeId id = newNode(pid, NodeKind::Window, app->root, u"AXWindow");
    Node& window = nodes_.at(id);
    window.subrole = u"AXStandardWindow";
    window.title = utf16FromUTF8(title);
    window.frame = frame;
    window.actions = {u"AXRaise"};
    window.visible = false;
    addWindowButtons(id);
    if (visible) {
        orderWindowFront(id);
    }
    return id;
}

NodeId Desktop::addElement(NodeId parent, const ElementSpec& setup) {
    if (nodes_.count(parent) == 0) {
        misuse("no accessibility node " + std::to_string(parent));
    }
    const NodeId id =
        newNode(nodes_.at(parent).pid, NodeKind::Element, parent, utf16FromUTF8(setup.role));
    Node& node = nodes_.at(id);
    node.subrole = optionalUTF16(setup.subrole);
    node.title = optionalUTF16(setup.title);
    node.description = optionalUTF16(setup.description);
    node.frame = setup.frame;
    setActions(id, setup.actions);
    return id;
}

NodeId Desktop::addDockItem(const DockItemSpec& setup) {
    const NodeId id = newNode(kDockPid, NodeKind::DockItem, dockList_, u"AXDockItem");
    Node& item = nodes_.at(id);
    item.subrole = utf16FromUTF8(setup.subrole);
    item.title = utf16FromUTF8(setup.title);
    item.actions = {u"AXPress", u"AXShowMenu"};
    item.url = setup.url;
    item.urlIsObject = setup.urlObject;
    layoutDock();  // which puts the new item at the end of its side of the Dock
    record("Dock item \"" + setup.title + "\" added");
    return id;
}

void Desktop::setTitle(NodeId id, const std::string& title) {
    if (auto found = nodes_.find(id); found != nodes_.end()) {
        found->second.title = utf16FromUTF8(title);
    }
}

void Desktop::setActions(NodeId id, const std::vector<std::string>& actions) {
    Node& node = nodes_.at(id);
    node.actions.clear();
    for (const std::string& action : actions) {
        node.actions.push_back(utf16FromUTF8(action));
    }
}

void Desktop::layoutDock() {
    if (nodes_.count(dockList_) == 0) {
        return;
    }
    orderDockItems();
    Node& list = nodes_.at(dockList_);
    const double count = static_cast<double>(list.children.size());
    const double itemSize = std::min(64.0, count > 0 ? (kScreenWidth - 20) / count : 64.0);
    const double left = (kScreenWidth - itemSize * count) / 2;
    const double top = kScreenHeight - 4 - itemSize;
    list.frame = Rect{left, top - 3, itemSize * count, itemSize + 7};
    double x = left;
    for (NodeId child : list.children) {
        nodes_.at(child).frame = Rect{x, top, itemSize, itemSize};
        x += itemSize;
    }
}

void Desktop::setActive(std::optional<pid_t> pid) {
    if (active_ == pid) {
        return;
    }
    active_ = pid;
    if (pid) {
        std::erase(recentlyActive_, *pid);
        recentlyActive_.insert(recentlyActive_.begin(), *pid);
        record(nameOf(*pid) + " is active");
    } else {
        record("no application is active");
    }
}

// The next application in front takes over, whether or not it was ever active: the owner of
// the front window on screen, else the most recently active visible application, else the
// regular application launched last; or none.
void Desktop::activateNextAfter(pid_t leaving) {
    const auto canTakeOver = [&](pid_t candidate, bool regularOnly) {
        const Application* app = application(candidate);
        return candidate != leaving && app != nullptr && !app->hidden && !app->backgroundOnly &&
               (app->foreground || !regularOnly);
    };
    std::vector<pid_t> order;
    for (NodeId window : windowOrder_) {
        order.push_back(nodes_.at(window).pid);
    }
    order.insert(order.end(), recentlyActive_.begin(), recentlyActive_.end());
    const std::size_t launched = order.size();
    order.insert(order.end(), launchOrder_.rbegin(), launchOrder_.rend());
    for (std::size_t index = 0; index < order.size(); ++index) {
        if (canTakeOver(order[index], index >= launched)) {
            setActive(order[index]);
            return;
        }
    }
    // Finder is active when no other application is.
    const Application* finder = application(finderPid_);
    setActive(finder != nullptr && finderPid_ != leaving && !finder->hidden
                  ? std::optional<pid_t>(finderPid_)
                  : std::nullopt);
}

void Desktop::activate(pid_t pid, bool allWindows) {
    Application* app = mutableApplication(pid);
    if (app == nullptr) {
        return;
    }
    if (app->hidden) {
        unhide(pid);
    }
    std::vector<NodeId> windows = windowsOf(pid);
    if (!allWindows && !windows.empty()) {
        windows.resize(1);
    }
    // Bring the windows forward, keeping their order among themselves.
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        std::erase(windowOrder_, *it);
        windowOrder_.insert(windowOrder_.begin(), *it);
    }
    setActive(pid);
}

void Desktop::hide(pid_t pid) {
    Application* app = mutableApplication(pid);
    if (app == nullptr || app->hidden) {
        return;
    }
    app->hidden = true;
    record(utf8FromUTF16(app->name) + " is hidden");
    if (active_ == pid) {
        activateNextAfter(pid);
    }
}

void Desktop::unhide(pid_t pid) {
    Application* app = mutableApplication(pid);
    if (app == nullptr || !app->hidden) {
        return;
    }
    app->hidden = false;
    record(utf8FromUTF16(app->name) + " is shown");
}

void Desktop::quit(pid_t pid, bool told) {
    Application* app = mutableApplication(pid);
    if (app == nullptr) {
        return;
    }
    const std::string name = utf8FromUTF16(app->name);
    if (pid == kDockPid || (dockMenuItem_ != 0 && dockMenuItem_ == app->dockItem)) {
        closeDockMenu();
    }
    if (pid == kDockPid) {
        rememberDockItems();
    }
    if (app->dockItem != 0 && !leaveKeptItem(*app)) {
        removeSubtree(app->dockItem);
    }
    removeSubtree(app->root);
    if (pid == kDockPid) {
        dockList_ = 0;
        trashSeparator_ = 0;
        for (KeptItem& kept : keptItems_) {
            kept.node = 0;
        }
    }
    applications_.erase(pid);
    std::erase(launchOrder_, pid);
    std::erase(pendingHides_, pid);
    std::erase_if(pendingActivations_, [pid](const auto& request) { return request.first == pid; });
    layoutDock();
    if (told) {
        record(name + " has quit");
    }
    if (active_ == pid) {
        activateNextAfter(pid);
    }
    std::erase(recentlyActive_, pid);
    afterQuit(pid);
}

void Desktop::setAccessEnabled(bool enabled) {
    if (accessEnabled_ != enabled) {
        accessEnabled_ = enabled;
        record(std::string("accessibility access is ") + (enabled ? "on" : "off"));
    }
}

void Desktop::orderWindowFront(NodeId id) {
    auto found = nodes_.find(id);
    if (found == nodes_.end() || found->second.kind != NodeKind::Window) {
        return;
    }
    if (found->second.minimized) {
        removeMinimizedItem(id);
    }
    // A window already on screen in front of every other changes nothing and is not recorded.
    if (found->second.visible && !windowOrder_.empty() && windowOrder_.front() == id) {
        return;
    }
    found->second.visible = true;
    std::erase(windowOrder_, id);
    windowOrder_.insert(windowOrder_.begin(), id);
    record("window \"" + utf8FromUTF16(found->second.title.value_or(u"")) + "\" of " +
           nameOf(found->second.pid) + " is in front");
}

void Desktop::closeWindow(NodeId id) {
    auto found = nodes_.find(id);
    if (found != nodes_.end() && found->second.minimized) {
        removeMinimizedItem(id);
    }
    if (found == nodes_.end() || !found->second.visible) {
        return;
    }
    found->second.visible = false;
    std::erase(windowOrder_, id);
    record("window \"" + utf8FromUTF16(found->second.title.value_or(u"")) + "\" of " +
           nameOf(found->second.pid) + " is closed");
}

void Desktop::makeForeground(pid_t pid) {
    Application* app = mutableApplication(pid);
    if (app == nullptr || app->foreground) {
        return;
    }
    app->foreground = true;
    const NodeId itemId = dockItemFor(pid, utf8FromUTF16(app->name));
    app = mutableApplication(pid);
    app->dockItem = itemId;
    record(utf8FromUTF16(app->name) + " shows its Dock icon");
}

void Desktop::openURL(const std::string& url) {
    openedURLs_.push_back(url);
    record("opened " + url);
    if (openHandler_) {
        openHandler_(url);
    }
}

void Desktop::requestHide(pid_t pid) {
    ++hideRequests_;
    lastHideRequest_ = nameOf(pid);
    pendingHides_.push_back(pid);
    record("hide requested for " + nameOf(pid));
}

void Desktop::applyPendingHides() {
    while (!pendingHides_.empty()) {
        const pid_t pid = pendingHides_.front();
        pendingHides_.erase(pendingHides_.begin());
        hide(pid);
    }
}

void Desktop::requestActivation(pid_t pid, bool allWindows) {
    pendingActivations_.emplace_back(pid, allWindows);
}

void Desktop::applyPendingActivations() {
    while (!pendingActivations_.empty()) {
        const auto [pid, allWindows] = pendingActivations_.front();
        pendingActivations_.erase(pendingActivations_.begin());
        activate(pid, allWindows);
    }
}

void Desktop::publishApplicationStates() {
    for (auto& [pid, app] : applications_) {
        app.publishedHidden = app.hidden;
    }
    publishedActive_ = active_;
}

namespace {

// What a press at a node is given to: the Dock item it lies in, or the element itself (a
// control, a row); 0 for a window's own background or the Dock's.
NodeId receiverAt(const Desktop& world, NodeId id) {
    for (const Node* node = world.node(id); node != nullptr; node = world.node(node->parent)) {
        if (node->kind == NodeKind::DockItem) {
            return node->id;
        }
        if (node->pid != kDockPid) {
            return node->kind == NodeKind::Element ? id : 0;
        }
    }
    return 0;
}

}  // namespace

void Desktop::routeMouseEvent(MouseEvent event, double x, double y, std::uint64_t flags) {
    // A menu on screen takes the mouse first; a drag by a title bar goes no further.
    if (routeToDockMenu(event, x, y) || routeWindowDrag(event, x, y)) {
        return;
    }
    const std::optional<NodeId> target = hitTest(x, y);
    const NodeId under = target ? receiverAt(*this, *target) : 0;
    if (event == MouseEvent::LeftDown) {
        pressReceiver_ = under;
        // A press on a window of an inactive application makes that application active.
        if (target && nodes_.at(*target).pid != kDockPid && active_ != nodes_.at(*target).pid) {
            activate(nodes_.at(*target).pid);
        }
        return;
    }
    if (event != MouseEvent::LeftUp) {
        return;
    }
    // The release goes to the press's receiver; a release with no press down goes where it is.
    const NodeId receiver = pressReceiver_.value_or(under);
    pressReceiver_.reset();
    if (receiver == 0 || receiver != under) {
        return;
    }
    const Node& clicked = nodes_.at(receiver);
    if (clicked.kind != NodeKind::DockItem) {
        pressElement(receiver);
        return;
    }
    if (clicked.itemWindow != 0) {
        restoreWindow(clicked.itemWindow);
        return;
    }
    // The Dock acts on a click on an application's item: it shows and activates that
    // application unless it is active and visible already, and asks it to reopen.
    const pid_t owner = clicked.itemOwner;
    const Application* app = application(owner);
    if (app == nullptr) {
        launchFromKeptItem(receiver);
        return;
    }
    // Option-click on another application's item hides the one that was active.
    if ((flags & kFlagAlternate) != 0 && active_ && *active_ != owner) {
        const pid_t previous = *active_;
        activate(owner);
        hide(previous);
    } else if (active_ != owner || app->hidden) {
        activate(owner);
    }
    if (reopenHandler_) {
        reopenHandler_(owner);
    }
}

std::optional<pid_t> Desktop::pidNamed(const std::string& name) const {
    const std::u16string wanted = utf16FromUTF8(name);
    for (pid_t pid : launchOrder_) {
        if (applications_.at(pid).name == wanted) {
            return pid;
        }
    }
    return std::nullopt;
}

const Node* Desktop::node(NodeId id) const {
    auto found = nodes_.find(id);
    return found == nodes_.end() ? nullptr : &found->second;
}

NodeId Desktop::rootOf(pid_t pid) const {
    const Application* app = application(pid);
    return app ? app->root : 0;
}

std::optional<NodeId> Desktop::dockItemTitled(const std::string& title) const {
    const std::u16string wanted = utf16FromUTF8(title);
    for (NodeId id : dockItems()) {
        if (nodes_.at(id).title == wanted) {
            return id;
        }
    }
    return std::nullopt;
}

std::optional<NodeId> Desktop::frontWindowTitled(const std::string& title) const {
    const std::u16string wanted = utf16FromUTF8(title);
    for (NodeId id : windowOrder_) {
        if (nodes_.at(id).title == wanted) {
            return id;
        }
    }
    return std::nullopt;
}

std::optional<NodeId> Desktop::frontControlTitled(const std::string& title) const {
    const std::u16string wanted = utf16FromUTF8(title);
    for (NodeId window : windowOrder_) {
        const Application* owner = application(nodes_.at(window).pid);
        if (owner == nullptr || owner->hidden) {
            continue;
        }
        std::vector<NodeId> pending(nodes_.at(window).children);
        while (!pending.empty()) {
            const Node& node = nodes_.at(pending.front());
            pending.erase(pending.begin());
            const bool pressable = std::find(node.actions.begin(), node.actions.end(),
                                             u"AXPress") != node.actions.end();
            if (pressable && node.title == wanted) {
                return node.id;
            }
            pending.insert(pending.end(), node.children.begin(), node.children.end());
        }
    }
    return std::nullopt;
}

std::vector<NodeId> Desktop::windowsOf(pid_t pid) const {
    std::vector<NodeId> windows;
    for (NodeId id : windowOrder_) {
        if (nodes_.at(id).pid == pid) {
            windows.push_back(id);
        }
    }
    return windows;
}

std::vector<NodeId> Desktop::dockItems() const {
    auto list = nodes_.find(dockList_);
    return list == nodes_.end() ? std::vector<NodeId>{} : list->second.children;
}

std::optional<NodeId> Desktop::deepestAt(NodeId start, double x, double y) const {
    NodeId current = start;
    for (;;) {
        const Node& node = nodes_.at(current);
        NodeId next = 0;
        for (NodeId child : node.children) {
            const Node& candidate = nodes_.at(child);
            if (candidate.frame && candidate.frame->contains(x, y)) {
                next = child;
                break;
            }
        }
        if (next == 0) {
            return current;
        }
        current = next;
    }
}

std::optional<NodeId> Desktop::hitTest(double x, double y, std::optional<pid_t> onlyPid) const {
    // The Dock's menus lie above everything.
    if (!onlyPid || *onlyPid == kDockPid) {
        if (std::optional<NodeId> item = menuAt(x, y)) {
            return item;
        }
    }
    if (auto list = nodes_.find(dockList_);
        list != nodes_.end() && (!onlyPid || *onlyPid == kDockPid) && list->second.frame &&
        list->second.frame->contains(x, y)) {
        return deepestAt(dockList_, x, y);
    }
    for (NodeId id : windowOrder_) {
        const Node& window = nodes_.at(id);
        const Application* owner = application(window.pid);
        if (owner == nullptr || owner->hidden || (onlyPid && *onlyPid != window.pid)) {
            continue;
        }
        if (window.frame && window.frame->contains(x, y)) {
            return deepestAt(id, x, y);
        }
    }
    return std::nullopt;
}

}  // namespace sim
