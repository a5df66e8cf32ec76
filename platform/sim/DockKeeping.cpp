// The Dock's own configuration, which outlives its process and the user's session: items kept
// for applications that do not run, Finder first in the Dock, the Trash at its end.
#include <algorithm>

#include "CoreFoundation/CFRunLoop.h"
#include "CoreFoundation/CFStringInternal.h"
#include "sim/Desktop.h"
#include "sim/SystemProcess.h"
#include "sim/Transcript.h"

namespace sim {
namespace {

constexpr const char* kFinderName = "Finder";
constexpr const char* kFinderBundleIdentifier = "com.apple.finder";
constexpr const char* kFinderBundlePath = "/System/Library/CoreServices/Finder.app";

// Kept items are matched to applications by bundle path, or by name without one.
bool sameApplication(const ApplicationSpec& spec, const Application& app) {
    if (spec.bundlePath && app.bundlePath) {
        return utf16FromUTF8(*spec.bundlePath) == *app.bundlePath;
    }
    return utf16FromUTF8(spec.name) == app.name;
}

}  // namespace

Desktop::KeptItem* Desktop::keptItemFor(const Application& app) {
    auto found = std::find_if(keptItems_.begin(), keptItems_.end(), [&](const KeptItem& kept) {
        return sameApplication(kept.spec, app);
    });
    return found != keptItems_.end() ? &*found : nullptr;
}

NodeId Desktop::dockItemFor(pid_t pid, const std::string& title) {
    const Application& app = applications_.at(pid);
    KeptItem* kept = keptItemFor(app);
    NodeId item = kept != nullptr ? kept->node : 0;
    if (item == 0 || nodes_.count(item) == 0 || nodes_.at(item).itemOwner != 0) {
        DockItemSpec spec;
        spec.title = title;
        spec.subrole = "AXApplicationDockItem";
        item = addDockItem(spec);
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
    ApplicationSpec spec;
    const Application* app = application(pid);
    if (app == nullptr) {
        return spec;
    }
    spec.name = utf8FromUTF16(app->name);
    spec.bundleIdentifier = utf8FromUTF16(app->bundleIdentifier);
    if (app->bundlePath) {
        spec.bundlePath = utf8FromUTF16(*app->bundlePath);
    } else {
        spec.noBundle = true;
    }
    if (const Node* item = node(app->dockItem); item != nullptr && item->title) {
        spec.dockItemTitle = utf8FromUTF16(*item->title);
    }
    return spec;
}

std::vector<std::string> Desktop::keptApplicationNames() const {
    std::vector<std::string> names;
    for (const KeptItem& kept : keptItems_) {
        names.push_back(kept.spec.name);
    }
    return names;
}

void Desktop::keepInDock(const ApplicationSpec& spec) {
    Application probe;
    probe.name = utf16FromUTF8(spec.name);
    if (spec.bundlePath) {
        probe.bundlePath = utf16FromUTF8(*spec.bundlePath);
    }
    if (keptItemFor(probe) != nullptr) {
        return;
    }
    KeptItem kept{spec, 0};
    if (std::optional<pid_t> running = pidNamed(spec.name)) {
        kept.node = applications_.at(*running).dockItem;
    }
    if (kept.node == 0 && dockList_ != 0) {
        DockItemSpec item;
        item.title = spec.dockItemTitle.value_or(spec.name);
        item.subrole = "AXApplicationDockItem";
        kept.node = addDockItem(item);
    }
    keptItems_.push_back(kept);
    record("the Dock keeps " + spec.name + "'s item");
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
        item.title = kept.spec.dockItemTitle.value_or(kept.spec.name);
        item.subrole = "AXApplicationDockItem";
        kept.node = addDockItem(item);
    }
    if (trash_) {
        trash_ = false;
        addTrash();
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
    // The launch happens at the next pass of the main run loop, after the click has reached
    // every receiver, as the Dock asks Launch Services to start the application.
    ApplicationSpec spec = kept->spec;
    RetainPtr<CFRunLoopTimerRef> launch = adoptCF(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent(), 0, 0, 0, [spec](CFRunLoopTimerRef) {
            Desktop& world = desktop();
            if (spec.bundlePath == mainBundlePath()) {
                if (systemState() != SystemState::Running) {
                    std::string error;
                    if (!launchSystem(&error)) {
                        record("the system cannot launch: " + error);
                    }
                }
            } else if (!world.pidNamed(spec.name)) {
                ApplicationSpec fresh = spec;
                fresh.pid = 0;
                world.activate(world.addApplication(fresh));
            }
        }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), launch.get(), kCFRunLoopDefaultMode);
}

}  // namespace sim
