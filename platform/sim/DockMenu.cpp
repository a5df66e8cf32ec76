// The Dock's menus: shown by a right press on a Dock item or a left press held on it, drawn
// above the item as an AXMenu of the Dock's application, and the commands their items carry.
#include <algorithm>
#include <utility>

#include "sim/Desktop.h"
#include "sim/Transcript.h"
#include "sim/UTF16.h"

namespace sim {
namespace {

constexpr double kMenuWidth = 220;
constexpr double kMenuItemHeight = 22;
constexpr double kMenuSeparatorHeight = 11;
constexpr double kMenuGap = 8;      // between the menu and the item it belongs to
constexpr double kMenuPadding = 5;  // above the first row and below the last

}  // namespace

std::vector<NodeId> Desktop::menusOnScreen() const {
    std::vector<NodeId> menus;
    for (NodeId menu : {dockMenu_, dockSubmenu_}) {
        if (menu != 0) {
            menus.push_back(menu);
        }
    }
    return menus;
}

std::optional<NodeId> Desktop::menuItemTitled(const std::string& title) const {
    const std::u16string wanted = utf16FromUTF8(title);
    for (NodeId menu : menusOnScreen()) {
        for (NodeId item : nodes_.at(menu).children) {
            if (nodes_.at(item).title == wanted && menuEntries_.count(item) != 0) {
                return item;
            }
        }
    }
    return std::nullopt;
}

std::optional<NodeId> Desktop::menuAt(double x, double y) const {
    // The submenu lies over the menu where they meet.
    const std::vector<NodeId> menus = menusOnScreen();
    for (auto menu = menus.rbegin(); menu != menus.rend(); ++menu) {
        const Node& node = nodes_.at(*menu);
        if (node.frame && node.frame->contains(x, y)) {
            return deepestAt(*menu, x, y);
        }
    }
    return std::nullopt;
}

void Desktop::later(double seconds, std::function<void()> work) {
    if (delayHandler_) {
        delayHandler_(seconds, std::move(work));
    }
}

// An empty menu of the Dock's application, its left edge at `left` (kept on screen), its bottom
// `kMenuGap` above `anchor`; addMenuItem grows it upward.
NodeId Desktop::addMenu(Rect anchor, double left) {
    const NodeId menu = newNode(kDockPid, NodeKind::Element, rootOf(kDockPid), u"AXMenu");
    const double x = std::clamp(left, 0.0, kScreenWidth - kMenuWidth);
    nodes_.at(menu).frame =
        Rect{x, anchor.y - kMenuGap - 2 * kMenuPadding, kMenuWidth, 2 * kMenuPadding};
    return menu;
}

NodeId Desktop::addMenuItem(NodeId menu, const std::string& title, MenuEntry entry, bool marked) {
    const NodeId item = newNode(kDockPid, NodeKind::Element, menu, u"AXMenuItem");
    Node& node = nodes_.at(item);
    node.title = utf16FromUTF8(title);
    if (marked) {
        node.markChar = utf16FromUTF8("\u2713");
    }
    const bool separator = entry.command == MenuCommand::None;
    if (!separator) {
        node.actions = {u"AXPress", u"AXCancel"};
        menuEntries_[item] = entry;
    }
    // The menu grows upward from its bottom edge; its items keep their order top to bottom.
    Rect& frame = *nodes_.at(menu).frame;
    const double height = separator ? kMenuSeparatorHeight : kMenuItemHeight;
    frame.y -= height;
    frame.height += height;
    double top = frame.y + kMenuPadding;
    for (NodeId child : nodes_.at(menu).children) {
        Node& row = nodes_.at(child);
        const double rowHeight = menuEntries_.count(child) ? kMenuItemHeight : kMenuSeparatorHeight;
        row.frame = Rect{frame.x, top, frame.width, rowHeight};
        top += rowHeight;
    }
    return item;
}

void Desktop::showDockMenu(NodeId itemId) {
    closeDockMenu();
    const Node* item = node(itemId);
    if (item == nullptr || item->kind != NodeKind::DockItem || !item->frame ||
        item->subrole == u"AXSeparatorDockItem") {
        return;
    }
    const Rect anchor = *item->frame;
    dockMenu_ = addMenu(anchor, anchor.midX() - kMenuWidth / 2);
    dockMenuItem_ = itemId;
    const bool isApplication = item->subrole == u"AXApplicationDockItem";
    const pid_t owner = item->itemOwner;
    const Application* app = application(owner);
    if (!isApplication) {
        addMenuItem(dockMenu_, "Open", {MenuCommand::Open});
    } else if (app == nullptr) {
        addMenuItem(dockMenu_, "Options", {MenuCommand::Options});
        addMenuItem(dockMenu_, "", {});
        addMenuItem(dockMenu_, "Open", {MenuCommand::Open});
    } else {
        const std::vector<NodeId> windows = windowsOf(owner);
        for (NodeId window : windows) {
            addMenuItem(dockMenu_, utf8FromUTF16(nodes_.at(window).title.value_or(u"")),
                        {MenuCommand::Window, window});
        }
        if (!windows.empty()) {
            addMenuItem(dockMenu_, "", {});
        }
        const bool finder = owner == finderPid_;
        if (!finder) {
            addMenuItem(dockMenu_, "Options", {MenuCommand::Options});
            addMenuItem(dockMenu_, "", {});
        }
        addMenuItem(dockMenu_, app->hidden ? "Show All" : "Hide",
                    {app->hidden ? MenuCommand::ShowAll : MenuCommand::Hide});
        if (!finder) {
            addMenuItem(dockMenu_, "Quit", {MenuCommand::Quit});
        }
    }
    record("the Dock shows the menu of \"" + utf8FromUTF16(item->title.value_or(u"")) + "\"");
}

void Desktop::closeDockMenu() {
    for (NodeId menu : menusOnScreen()) {
        for (NodeId item : nodes_.count(menu) ? nodes_.at(menu).children : std::vector<NodeId>{}) {
            menuEntries_.erase(item);
        }
        removeSubtree(menu);
    }
    if (dockMenu_ != 0) {
        record("the Dock's menu is put away");
    }
    dockMenu_ = 0;
    dockSubmenu_ = 0;
    dockMenuItem_ = 0;
}

bool Desktop::routeToDockMenu(MouseEvent event, double x, double y) {
    const bool press = event == MouseEvent::LeftDown || event == MouseEvent::RightDown;
    const bool release = event == MouseEvent::LeftUp || event == MouseEvent::RightUp;
    if (dockMenu_ != 0) {
        // The menu takes the mouse until it is put away.
        const std::optional<NodeId> over = menuAt(x, y);
        if (press && !over) {
            closeDockMenu();
            swallowRelease_ = true;
        } else if (release) {
            pressReceiver_.reset();
            if (!std::exchange(swallowRelease_, false) && over && menuEntries_.count(*over) != 0) {
                chooseMenuItem(*over);
            }
        }
        return true;
    }
    if (release && std::exchange(swallowRelease_, false)) {
        pressReceiver_.reset();
        return true;
    }
    if (!press) {
        return false;
    }
    if (event == MouseEvent::LeftDown) {
        ++pressSerial_;
    }
    const std::optional<NodeId> hit = hitTest(x, y, kDockPid);
    const Node* item = hit ? node(*hit) : nullptr;
    if (item == nullptr || item->kind != NodeKind::DockItem) {
        return false;
    }
    if (event == MouseEvent::RightDown) {
        showDockMenu(item->id);
        return true;
    }
    if (event == MouseEvent::LeftDown) {
        // Held long enough, the press shows the item's menu; its release then clicks nothing.
        later(kDockMenuHoldSeconds, [this, serial = pressSerial_, itemId = item->id] {
            if (pressSerial_ == serial && pressReceiver_ == itemId && dockMenu_ == 0) {
                showDockMenu(itemId);
            }
        });
    }
    return false;
}

void Desktop::chooseMenuItem(NodeId chosen) {
    const MenuEntry entry = menuEntries_.at(chosen);
    const NodeId itemId = dockMenuItem_;
    const Node& item = nodes_.at(itemId);
    const pid_t owner = item.itemOwner;
    const auto kept =
        std::find_if(keptItems_.begin(), keptItems_.end(),
                     [itemId](const KeptItem& entry) { return entry.node == itemId; });
    const ApplicationSpec setup = application(owner)         ? specOf(owner)
                                  : kept != keptItems_.end() ? kept->setup
                                                             : ApplicationSpec{};
    const std::string path = setup.bundlePath.value_or("");
    record("the user chooses \"" + utf8FromUTF16(nodes_.at(chosen).title.value_or(u"")) +
           "\" in the Dock's menu");
    if (entry.command == MenuCommand::Options) {
        // The submenu opens beside the menu, level with its item.
        const Rect row = *nodes_.at(chosen).frame;
        if (dockSubmenu_ != 0) {
            removeSubtree(dockSubmenu_);
        }
        dockSubmenu_ = addMenu(Rect{row.x, row.y + kMenuGap, 0, 0}, row.x + row.width);
        if (owner != finderPid_) {
            addMenuItem(dockSubmenu_, "Keep in Dock", {MenuCommand::KeepInDock},
                        kept != keptItems_.end());
        }
        if (!path.empty() && loginItemListed_) {
            addMenuItem(dockSubmenu_, "Open at Login", {MenuCommand::OpenAtLogin},
                        loginItemListed_(path));
        }
        if (!path.empty()) {
            addMenuItem(dockSubmenu_, "Show in Finder", {MenuCommand::ShowInFinder});
        }
        // The rows were laid out growing upward: move the submenu down so that its first row
        // is level with the row that opened it.
        Rect& frame = *nodes_.at(dockSubmenu_).frame;
        const double shift = row.y - kMenuPadding - frame.y;
        frame.y += shift;
        for (NodeId child : nodes_.at(dockSubmenu_).children) {
            nodes_.at(child).frame->y += shift;
        }
        return;
    }
    closeDockMenu();
    switch (entry.command) {
        case MenuCommand::Window:
            activate(owner);
            orderWindowFront(entry.window);
            break;
        case MenuCommand::KeepInDock:
            kept != keptItems_.end() ? unkeep(setup) : keepInDock(setup);
            break;
        case MenuCommand::OpenAtLogin:
            if (loginItemChange_) {
                loginItemChange_(path, !loginItemListed_(path));
            }
            break;
        case MenuCommand::ShowInFinder:
            record("Finder shows " + path);
            if (application(finderPid_) != nullptr) {
                activate(finderPid_);
            }
            break;
        case MenuCommand::ShowAll:
            activate(owner);
            break;
        case MenuCommand::Hide:
            hide(owner);
            break;
        case MenuCommand::Quit:
            if (!commandHandler_ || !commandHandler_(owner, AppCommand::Quit)) {
                quit(owner);
            }
            break;
        case MenuCommand::Open:
            if (nodes_.at(itemId).subrole == u"AXApplicationDockItem") {
                launchFromKeptItem(itemId);
            } else if (nodes_.at(itemId).url) {
                openURL(*nodes_.at(itemId).url);
            } else if (application(finderPid_) != nullptr) {
                activate(finderPid_);  // the Trash opens in a Finder window
            }
            break;
        case MenuCommand::None:
        case MenuCommand::Options:
            break;
    }
}

}  // namespace sim
