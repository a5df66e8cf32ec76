// The Dock's own configuration, which outlives its process and the user's session: items kept
// for applications that do not run, Finder first in the Dock, the Trash at its end.
#include <algorithm>

#include "sim/Desktop.h"
#include "sim/Transcript.h"
#include "sim/UTF16.h"

namespace sim {
namespace {

constexpr const char* kFinderName = "Finder";
constexpr const char* kFinderBundleIdentifier = "com.apple.finder";
constexpr const char* kFinderBundlePath = "/System/Library/CoreServices/Finder.app";

// Kept items are matched to applications by bundle path, or by name without one.
bool sameApplication(const ApplicationSpec& setup, const Application& app) {
    if (setup.bundlePath && app.bundlePath) {
        return utf16FromUTF8(*setup.bundlePath) == *app.bundlePath;
    }
    return utf16FromUTF8(setup.name) == app.name;
}

}  // namespace

Desktop::KeptItem* Desktop::keptItemFor(const Application& app) {
    auto found = std::find_if(keptItems_.begin(), keptItems_.end(), [&](const KeptItem& kept) {
        return sameApplication(kept.setup, app);
    });
    return found != keptItems_.end() ? &*found : nullptr;
}

NodeId Desktop::dockItemFor(pid_t pid, const std::string& title) {
    const Application& app = applications_.at(pid);
    KeptItem* kept = keptItemFor(app);
    NodeId item = kept != nullptr ? kept->node : 0;
    if (item == 0 || nodes_.count(item) == 0 || nodes_.at(item).itemOwner != 0) {
        DockItemSpec setup;
        setup.title = title;
        setup.subrole = "AXApplicationDockItem";
        item = addDockItem(setup);
        if (kept != nullptr) {
            kept->node = item;
        }
    }
    nodes_.at(item).itemOwner = pid;
    return item;
}

bool Desktop::leaveKeptItem(const Application& app) {
    KeptItem* kept = keptItemFor(app);
    if (kept == nullptr || kept->node != app.dockItem || nodes_.count(app.dockItem) == 0) {
        return false;
    }
    nodes_.at(app.dockItem).itemOwner = 0;
    return true;
}

ApplicationSpec Desktop::specOf(pid_t pid) const {
    ApplicationSpec setup;
    const Application* app = application(pid);
    if (app == nullptr) {
        return setup;
    }
    setup.name = utf8FromUTF16(app->name);
    setup.bundleIdentifier = utf8FromUTF16(app->bundleIdentifier);
    if (app->bundlePath) {
        setup.bundlePath = utf8FromUTF16(*app->bundlePath);
    } else {
        setup.noBundle = true;
    }
    if (const Node* item = node(app->dockItem); item != nullptr && item->title) {
        setup.dockItemTitle = utf8FromUTF16(*item->title);
    }
    return setup;
}

std::vector<std::string> Desktop::keptApplicationNames() const {
    std::vector<std::string> names;
    for (const KeptItem& kept : keptItems_) {
        names.push_back(kept.setup.name);
    }
    return names;
}

void Desktop::keepInDock(const ApplicationSpec& setup) {
    Application probe;
    probe.name = utf16FromUTF8(setup.name);
    if (setup.bundlePath) {
        probe.bundlePath = utf16FromUTF8(*setup.bundlePath);
    }
    if (keptItemFor(probe) != nullptr) {
        return;
    }
    KeptItem kept{setup, 0};
    if (std::optional<pid_t> running = pidNamed(setup.name)) {
        kept.node = applications_.at(*running).dockItem;
    }
    if (kept.node == 0 && dockList_ != 0) {
        DockItemSpec item;
        item.title = setup.dockItemTitle.value_or(setup.name);
        item.subrole = "AXApplicationDockItem";
        kept.node = addDockItem(item);
    }
    keptItems_.push_back(kept);
    record("the Dock keeps " + setup.name + "'s item");
}

void Desktop::startFinder() {
    finderWanted_ = true;
    if (application(finderPid_) != nullptr) {
        return;
    }
    ApplicationSpec finder;
    finder.name = kFinderName;
    finder.bundleIdentifier = kFinderBundleIdentifier;
    finder.bundlePath = kFinderBundlePath;
    keepInDock(finder);
    finderPid_ = addApplication(finder);
    // Its item is the Dock's first.
    const NodeId item = applications_.at(finderPid_).dockItem;
    if (dockList_ != 0 && item != 0) {
        std::vector<NodeId>& items = nodes_.at(dockList_).children;
        std::erase(items, item);
        items.insert(items.begin(), item);
        layoutDock();
    }
    if (!active_) {
        setActive(finderPid_);
    }
}

void Desktop::addTrash() {
    if (trash_) {
        return;
    }
    trash_ = true;
    if (dockList_ == 0) {
        return;
    }
    DockItemSpec separator;
    separator.title = "";
    separator.subrole = "AXSeparatorDockItem";
    trashSeparator_ = addDockItem(separator);
    DockItemSpec trash;
    trash.title = "Trash";
    trash.subrole = "AXTrashDockItem";
    const NodeId item = addDockItem(trash);
    // addDockItem put it before the separator: the Trash is the very last.
    std::vector<NodeId>& items = nodes_.at(dockList_).children;
    std::erase(items, item);
    items.push_back(item);
    layoutDock();
}

void Desktop::startDock() {
    if (application(kDockPid) != nullptr) {
        return;
    }
    ApplicationSpec dock;
    dock.name = "Dock";
    dock.pid = kDockPid;
    dock.bundleIdentifier = kDockBundleIdentifier;
    dock.bundlePath = kDockBundlePath;
    dock.dockItem = false;
    dock.agent = true;
    addApplication(dock);
    dockList_ = newNode(kDockPid, NodeKind::DockList, rootOf(kDockPid), u"AXList");
    layoutDock();
    for (KeptItem& kept : keptItems_) {
        DockItemSpec item;
        item.title = kept.setup.dockItemTitle.value_or(kept.setup.name);
        item.subrole = "AXApplicationDockItem";
        kept.node = addDockItem(item);
    }
    if (trash_) {
        trash_ = false;
        addTrash();
    }
    for (NodeId window : minimizedOrder_) {
        addMinimizedItem(window);
    }
}

void Desktop::afterQuit(pid_t pid) {
    if (pid == finderPid_) {
        finderPid_ = 0;
        if (finderWanted_ && !loggingOut_) {
            startFinder();
        }
    }
}

void Desktop::launchFromKeptItem(NodeId item) {
    auto kept = std::find_if(keptItems_.begin(), keptItems_.end(),
                             [item](const KeptItem& entry) { return entry.node == item; });
    if (kept == keptItems_.end()) {
        return;
    }
    if (launchHandler_) {
        launchHandler_(kept->setup);
    }
}

}  // namespace sim
