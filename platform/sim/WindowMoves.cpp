// Windows that move as the window server moves them: a title bar dragged by the pointer, the
// close and minimise buttons, and minimised windows waiting in the Dock.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "sim/Desktop.h"
#include "sim/Transcript.h"
#include "sim/UTF16.h"

namespace sim {
namespace {

constexpr const char* kMinimizedItemSubrole = "AXMinimizedWindowDockItem";
// How much of a title bar stays on screen to the left or right, so that it can be grabbed.
constexpr double kTitleBarKeptOnScreen = 40;

Rect within(const Rect& window, const Rect& part) {
    return Rect{window.x + part.x, window.y + part.y, part.width, part.height};
}

std::string describeWindow(const Desktop& world, const Node& window) {
    return "window \"" + utf8FromUTF16(window.title.value_or(u"")) + "\" of " +
           world.nameOf(window.pid);
}

std::string points(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

void Desktop::addWindowButtons(NodeId window) {
    const Rect frame = nodes_.at(window).frame.value_or(Rect{});
    for (const auto& [subrole, place] : {std::pair{"AXCloseButton", kCloseButtonFrame},
                                         std::pair{"AXMinimizeButton", kMinimizeButtonFrame}}) {
        ElementSpec button;
        button.role = "AXButton";
        button.subrole = subrole;
        button.frame = within(frame, place);
        button.actions = {"AXPress"};
        addElement(window, button);
    }
}

void Desktop::moveWindow(NodeId id, double x, double y) {
    auto found = nodes_.find(id);
    if (found == nodes_.end() || found->second.kind != NodeKind::Window || !found->second.frame) {
        return;
    }
    const Rect frame = *found->second.frame;
    x = std::clamp(x, kTitleBarKeptOnScreen - frame.width, kScreenWidth - kTitleBarKeptOnScreen);
    y = std::clamp(y, kMenuBarHeight, kScreenHeight - kTitleBarHeight);
    const double dx = x - frame.x;
    const double dy = y - frame.y;
    // Everything in the window keeps its place within it.
    std::vector<NodeId> pending{id};
    while (!pending.empty()) {
        Node& node = nodes_.at(pending.back());
        pending.pop_back();
        if (node.frame) {
            node.frame->x += dx;
            node.frame->y += dy;
        }
        pending.insert(pending.end(), node.children.begin(), node.children.end());
    }
}

bool Desktop::routeWindowDrag(MouseEvent event, double x, double y) {
    if (event == MouseEvent::LeftDown) {
        drag_.reset();
        const std::optional<NodeId> target = hitTest(x, y);
        if (!target || nodes_.at(*target).pid == kDockPid) {
            return false;
        }
        NodeId window = *target;
        while (nodes_.at(window).kind != NodeKind::Window) {
            window = nodes_.at(window).parent;
        }
        // The window pressed comes in front of its application's others.
        orderWindowFront(window);
        const Node& pressed = nodes_.at(*target);
        const Rect frame = nodes_.at(window).frame.value_or(Rect{});
        const bool onButton =
            pressed.subrole == u"AXCloseButton" || pressed.subrole == u"AXMinimizeButton";
        if (!onButton && y < frame.y + kTitleBarHeight) {
            drag_ = WindowDrag{window, x - frame.x, y - frame.y, frame};
        }
        return false;
    }
    if (!drag_ || (event != MouseEvent::LeftDragged && event != MouseEvent::LeftUp)) {
        return false;
    }
    const WindowDrag drag = *drag_;
    const Node* window = node(drag.window);
    if (window == nullptr || !window->visible) {
        drag_.reset();
        return false;
    }
    moveWindow(drag.window, x - drag.grabX, y - drag.grabY);
    if (event == MouseEvent::LeftDragged) {
        return true;
    }
    // The release ends the drag, and still goes to the window that received the press.
    drag_.reset();
    const Rect after = window->frame.value_or(Rect{});
    if (after.x != drag.start.x || after.y != drag.start.y) {
        record(describeWindow(*this, *window) + " is moved to " + points(after.x) + "," +
               points(after.y));
    }
    return false;
}

bool Desktop::pressWindowButton(NodeId element) {
    const Node& button = nodes_.at(element);
    if (button.role != u"AXButton" || nodes_.at(button.parent).kind != NodeKind::Window) {
        return false;
    }
    const NodeId window = button.parent;
    const pid_t pid = button.pid;
    if (button.subrole == u"AXCloseButton") {
        // An application with code of its own closes its window itself.
        if (!(commandHandler_ && commandHandler_(pid, AppCommand::CloseWindow))) {
            closeWindow(window);
        }
        return true;
    }
    if (button.subrole == u"AXMinimizeButton") {
        minimizeWindow(window);
        return true;
    }
    return false;
}

void Desktop::minimizeWindow(NodeId id) {
    auto found = nodes_.find(id);
    if (found == nodes_.end() || found->second.kind != NodeKind::Window || !found->second.visible) {
        return;
    }
    found->second.visible = false;
    found->second.minimized = true;
    std::erase(windowOrder_, id);
    minimizedOrder_.push_back(id);
    record(describeWindow(*this, found->second) + " is minimised into the Dock");
    addMinimizedItem(id);
}

void Desktop::restoreWindow(NodeId id) {
    const Node* window = node(id);
    if (window == nullptr || !window->minimized) {
        return;
    }
    record(describeWindow(*this, *window) + " comes back from the Dock");
    orderWindowFront(id);
    activate(window->pid, /*allWindows=*/false);
}

NodeId Desktop::addMinimizedItem(NodeId window) {
    if (dockList_ == 0) {
        return 0;  // the Dock shows it again when it starts
    }
    DockItemSpec setup;
    setup.title = utf8FromUTF16(nodes_.at(window).title.value_or(u""));
    setup.subrole = kMinimizedItemSubrole;
    const NodeId item = addDockItem(setup);
    nodes_.at(item).itemWindow = window;
    layoutDock();
    return item;
}

void Desktop::removeMinimizedItem(NodeId window) {
    nodes_.at(window).minimized = false;
    std::erase(minimizedOrder_, window);
    for (NodeId item : dockItems()) {
        if (nodes_.at(item).itemWindow == window) {
            removeSubtree(item);
            layoutDock();
            return;
        }
    }
}

// Applications first, then the separator, folders and links, the minimised windows and the
// Trash.
void Desktop::orderDockItems() {
    const auto side = [&](NodeId id) {
        const Node& item = nodes_.at(id);
        if (item.subrole == u"AXApplicationDockItem") {
            return 0;
        }
        if (item.subrole == u"AXTrashDockItem") {
            return 4;
        }
        return id == trashSeparator_ ? 1 : item.itemWindow != 0 ? 3 : 2;
    };
    std::vector<NodeId>& items = nodes_.at(dockList_).children;
    std::stable_sort(items.begin(), items.end(),
                     [&](NodeId left, NodeId right) { return side(left) < side(right); });
}

std::vector<NodeId> Desktop::minimizedWindowsOf(pid_t pid) const {
    std::vector<NodeId> windows;
    for (NodeId id : minimizedOrder_) {
        if (nodes_.at(id).pid == pid) {
            windows.push_back(id);
        }
    }
    return windows;
}

}  // namespace sim
