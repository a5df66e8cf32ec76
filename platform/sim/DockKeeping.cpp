// The Dock's own configuration, which outlives its process and the user's session: items kept
// for applications that do not run, Finder first in the Dock, the Trash at its end.
#include <algorithm>
#include <utility>

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
    addDockItem(trash);
    // Folders and links already in the Dock move after the separator.
    std::vector<NodeId>& items = nodes_.at(dockList_).children;
    std::stable_partition(items.begin(), items.end(), [this](NodeId id) {
        return id == trashSeparator_ || nodes_.at(id).subrole == u"AXApplicationDockItem";
    });
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
    restoreDockItems();
    for (KeptItem& kept : keptItems_) {
        if (kept.node == 0) {
            DockItemSpec item;
            item.title = kept.setup.dockItemTitle.value_or(kept.setup.name);
            item.subrole = "AXApplicationDockItem";
            kept.node = addDockItem(item);
        }
    }
    // Applications that started while the Dock was away.
    for (pid_t pid : launchOrder_) {
        Application& app = applications_.at(pid);
        const Node* item = node(app.dockItem);
        if (app.dockItem != 0 && pid != kDockPid &&
            (item == nullptr || item->parent != dockList_)) {
            if (item != nullptr) {
                removeSubtree(app.dockItem);
            }
            app.dockItem = dockItemFor(pid, utf8FromUTF16(app.name));
        }
    }
    if (trash_) {
        trash_ = false;
        addTrash();
    }
    for (NodeId window : minimizedOrder_) {
        addMinimizedItem(window);
    }
}

void Desktop::rememberDockItems() {
    itemsBeforeQuit_.clear();
    for (NodeId id : dockItems()) {
        const Node& item = nodes_.at(id);
        if (id == trashSeparator_ || item.subrole == u"AXTrashDockItem" || item.itemWindow != 0) {
            continue;  // the Trash and minimised windows' items come back with the Dock
        }
        RememberedItem remembered;
        remembered.setup.title = utf8FromUTF16(item.title.value_or(u""));
        remembered.setup.subrole = utf8FromUTF16(item.subrole.value_or(u""));
        remembered.setup.url = item.url;
        remembered.setup.urlObject = item.urlIsObject;
        remembered.owner = item.itemOwner;
        itemsBeforeQuit_.push_back(std::move(remembered));
    }
}

void Desktop::restoreDockItems() {
    for (const RememberedItem& remembered : std::exchange(itemsBeforeQuit_, {})) {
        Application* owner = mutableApplication(remembered.owner);
        if (owner != nullptr) {
            if (const Node* old = node(owner->dockItem); old != nullptr && old->parent == 0) {
                removeSubtree(owner->dockItem);
            }
            owner->dockItem = dockItemFor(owner->pid, remembered.setup.title);
            continue;
        }
        const NodeId item = addDockItem(remembered.setup);
        if (remembered.setup.subrole != "AXApplicationDockItem") {
            continue;
        }
        // A kept item whose application does not run: the first kept entry of that title.
        for (KeptItem& kept : keptItems_) {
            if (kept.node == 0 &&
                kept.setup.dockItemTitle.value_or(kept.setup.name) == remembered.setup.title) {
                kept.node = item;
                break;
            }
        }
    }
}

void Desktop::unkeep(const ApplicationSpec& setup) {
    Application probe;
    probe.name = utf16FromUTF8(setup.name);
    if (setup.bundlePath) {
        probe.bundlePath = utf16FromUTF8(*setup.bundlePath);
    }
    KeptItem* kept = keptItemFor(probe);
    if (kept == nullptr) {
        return;
    }
    // The item of an application that does not run leaves with it; a running one's stays
    // until the application quits.
    if (const Node* item = node(kept->node); item != nullptr && item->itemOwner == 0) {
        removeSubtree(kept->node);
        layoutDock();
    }
    keptItems_.erase(keptItems_.begin() + (kept - keptItems_.data()));
    record("the Dock no longer keeps " + setup.name + "'s item");
}

void Desktop::afterQuit(pid_t pid) {
    if (pid == kDockPid && !loggingOut_ && !loggedOut_) {
        later(kDockRestartSeconds, [this] {
            if (!loggingOut_ && !loggedOut_) {
                startDock();
            }
        });
    }
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
    // The item bounces while its application starts.
    nodes_.at(item).launching = true;
    record(kept->setup.name + " is starting from its Dock item");
    later(kLaunchBounceSeconds, [this, item] {
        if (auto found = nodes_.find(item); found != nodes_.end()) {
            found->second.launching = false;
        }
    });
    if (launchHandler_) {
        launchHandler_(kept->setup);
    }
}

}  // namespace sim
