#include "LiveDesktop/DesktopSnapshot.h"

#include <algorithm>
#include <string>

#include "ApplicationServices/AccessibilityInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "Foundation/Foundation.h"
#include "TypeCastsCF.h"
#include "control/SystemProcess.h"
#include "control/UserSession.h"
#include "sim/Desktop.h"
#include "sim/UTF16.h"

namespace sim::live {
namespace {

// screen, applications, windows, dock, switcher, menus, quenfold, access, loggedOut, preferences,
// loginItems
constexpr std::size_t kParts = 11;
constexpr const char* kPreferenceKeys[] = {"LaunchAutomaticallyOnLogin", "ShowSettingsOnLaunch",
                                           "HideDockIcon"};

Json textOrNull(const std::optional<std::u16string>& units) {
    return units ? Json(utf8FromUTF16(*units)) : Json(nullptr);
}

void putFrame(Json& object, const Node& node) {
    const Rect frame = node.frame.value_or(Rect{});
    object["x"] = frame.x;
    object["y"] = frame.y;
    object["w"] = frame.width;
    object["h"] = frame.height;
}

// Ordered in or not, every window of every application: the ordered-in ones front to back,
// then the others by application in launch order.
std::vector<NodeId> everyWindow() {
    const Desktop& world = desktop();
    std::vector<NodeId> windows = world.windowOrder();
    for (pid_t pid : world.runningPids()) {
        const Node* root = world.node(world.rootOf(pid));
        if (root == nullptr) {
            continue;
        }
        for (NodeId child : root->children) {
            const Node* node = world.node(child);
            if (node != nullptr && node->kind == NodeKind::Window &&
                std::find(windows.begin(), windows.end(), child) == windows.end()) {
                windows.push_back(child);
            }
        }
    }
    return windows;
}

Json applications() {
    const Desktop& world = desktop();
    const bool systemLaunched = frameworks::systemState() != frameworks::SystemState::NotLaunched;
    Json list = Json::array();
    for (pid_t pid : world.runningPids()) {
        const Application* app = world.application(pid);
        // The system's process is on the desktop from the start, as an agent that has not
        // launched: clients see it from its launch.
        if (app == nullptr || (pid == world.systemPid() && !systemLaunched)) {
            continue;
        }
        Json entry = objectWithRoom(5);
        entry["name"] = utf8FromUTF16(app->name);
        entry["pid"] = pid;
        entry["bundleIdentifier"] = utf8FromUTF16(app->bundleIdentifier);
        entry["hidden"] = app->hidden;
        entry["active"] = world.activePid() == pid;
        list.push_back(std::move(entry));
    }
    return list;
}

// What an element's attribute value says for drawing: a check box's number, a row's text.
Json valueOf(const Node& node, const char16_t* name) {
    if (CFTypeRef value = frameworks::attributeOverride(node.id, name)) {
        if (const NSNumber* number = dynamic_cf_cast<CFNumberRef>(value)) {
            return number->longLongValue();
        }
        if (CFBooleanRef flag = dynamic_cf_cast<CFBooleanRef>(value)) {
            return CFBooleanGetValue(flag);
        }
        if (CFStringRef text = dynamic_cf_cast<CFStringRef>(value)) {
            return text->utf8();
        }
    }
    return nullptr;
}

// The accessibility elements of a window, parents before their children, in screen
// coordinates, for a client that draws them; a click on one goes through the hand like any.
Json elementsOf(const Node& window) {
    const Desktop& world = desktop();
    Json list = Json::array();
    std::vector<NodeId> pending(window.children.rbegin(), window.children.rend());
    while (!pending.empty()) {
        const Node* node = world.node(pending.back());
        pending.pop_back();
        if (node == nullptr) {
            continue;
        }
        Json entry = objectWithRoom(10);
        entry["role"] = utf8FromUTF16(node->role);
        entry["subrole"] = textOrNull(node->subrole);
        entry["title"] = textOrNull(node->title);
        entry["value"] = valueOf(*node, u"AXValue");
        entry["selected"] = valueOf(*node, u"AXSelected") == Json(true);
        entry["enabled"] = valueOf(*node, u"AXEnabled") != Json(false);
        putFrame(entry, *node);
        list.push_back(std::move(entry));
        pending.insert(pending.end(), node->children.rbegin(), node->children.rend());
    }
    return list;
}

Json windows() {
    const Desktop& world = desktop();
    Json list = Json::array();
    for (NodeId id : everyWindow()) {
        const Node* node = world.node(id);
        const Application* owner = world.application(node->pid);
        Json entry = objectWithRoom(10);
        entry["application"] = owner != nullptr ? utf8FromUTF16(owner->name) : std::string();
        entry["pid"] = node->pid;
        entry["title"] = utf8FromUTF16(node->title.value_or(u""));
        putFrame(entry, *node);
        entry["onScreen"] = node->visible && owner != nullptr && !owner->hidden;
        entry["minimized"] = node->minimized;
        entry["elements"] = elementsOf(*node);
        list.push_back(std::move(entry));
    }
    return list;
}

Json dock() {
    const Desktop& world = desktop();
    Json list = Json::array();
    for (NodeId id : world.dockItems()) {
        const Node* item = world.node(id);
        Json entry = objectWithRoom(8);
        entry["title"] = textOrNull(item->title);
        entry["subrole"] = textOrNull(item->subrole);
        putFrame(entry, *item);
        entry["running"] = item->itemOwner != 0 && world.application(item->itemOwner) != nullptr;
        entry["launching"] = item->launching;
        list.push_back(std::move(entry));
    }
    return list;
}

// The Dock's menus on screen, the item's own first, then its open submenu.
Json menus() {
    const Desktop& world = desktop();
    Json list = Json::array();
    for (NodeId id : world.menusOnScreen()) {
        const Node* menu = world.node(id);
        Json entry = objectWithRoom(5);
        putFrame(entry, *menu);
        Json items = Json::array();
        for (NodeId child : menu->children) {
            const Node* item = world.node(child);
            Json row = objectWithRoom(7);
            row["title"] = utf8FromUTF16(item->title.value_or(u""));
            putFrame(row, *item);
            row["separator"] = item->actions.empty();
            row["marked"] = item->markChar.has_value();
            items.push_back(std::move(row));
        }
        entry["items"] = std::move(items);
        list.push_back(std::move(entry));
    }
    return list;
}

// The application switcher while Command is held after Command-Tab: its applications in order
// and the one chosen; null while it is not on screen.
Json switcher() {
    const Desktop& world = desktop();
    const std::optional<pid_t> chosen = world.switcherChoice();
    if (!chosen) {
        return nullptr;
    }
    Json applications = Json::array();
    for (pid_t pid : world.switcherOrder()) {
        applications.push_back({{"name", world.nameOf(pid)}, {"pid", pid}});
    }
    return {{"applications", std::move(applications)}, {"chosen", *chosen}};
}

const char* kindName(SettingsView::Kind kind) {
    switch (kind) {
        case SettingsView::Kind::Text:
            return "text";
        case SettingsView::Kind::Switch:
            return "switch";
        case SettingsView::Kind::Button:
            return "button";
    }
    return "text";
}

Json textOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

const char* systemStateName(frameworks::SystemState state) {
    switch (state) {
        case frameworks::SystemState::NotLaunched:
            return "notLaunched";
        case frameworks::SystemState::Running:
            return "running";
        case frameworks::SystemState::Terminated:
            return "quit";
    }
    return "notLaunched";
}

// The window's views as the page draws them; the switches' states are in "controls".
Json settingsViews() {
    Json list = Json::array();
    for (const SettingsView& view : settingsWindowViews()) {
        list.push_back({{"kind", kindName(view.kind)},
                        {"identifier", textOrNull(view.identifier)},
                        {"text", view.text},
                        {"color", textOrNull(view.color)},
                        {"key", textOrNull(view.key)},
                        {"action", textOrNull(view.action)},
                        {"x", view.x},
                        {"y", view.y},
                        {"w", view.width},
                        {"h", view.height}});
    }
    return list;
}

Json quenfold() {
    const Application* system = desktop().application(desktop().systemPid());
    Json controls = Json::object();
    for (const char* key : kPreferenceKeys) {
        controls[key] = settingsControlState(key).value_or(false);
    }
    const std::string color = settingsStatusColor();
    Json settings = objectWithRoom(6);
    settings["onScreen"] = settingsWindowOnScreen();
    settings["status"] = settingsStatusText();
    settings["statusColor"] = color.empty() ? Json(nullptr) : Json(color);
    settings["controls"] = std::move(controls);
    settings["title"] = textOrNull(settingsWindowTitle());
    settings["views"] = settingsViews();

    Json state = objectWithRoom(8);
    state["running"] = frameworks::systemState() == frameworks::SystemState::Running;
    state["state"] = systemStateName(frameworks::systemState());
    state["pid"] =
        system != nullptr && frameworks::systemState() != frameworks::SystemState::NotLaunched
            ? Json(desktop().systemPid())
            : Json(nullptr);
    state["dockIcon"] = system != nullptr && system->foreground;
    state["taps"] = frameworks::eventSystem().tapCount();
    state["hideRequests"] = desktop().hideRequestCount();
    state["settings"] = std::move(settings);
    return state;
}

}  // namespace

Json desktopSnapshot() {
    NSAutoreleasePool pool;
    Json snapshot = objectWithRoom(kParts);
    snapshot["screen"] = {{"w", kScreenWidth}, {"h", kScreenHeight}};
    snapshot["applications"] = applications();
    snapshot["windows"] = windows();
    snapshot["dock"] = dock();
    snapshot["switcher"] = switcher();
    snapshot["menus"] = menus();
    snapshot["quenfold"] = quenfold();
    snapshot["access"] = desktop().accessEnabled();
    snapshot["loggedOut"] = loggedOut();
    Json preferences = Json::object();
    for (const char* key : kPreferenceKeys) {
        if (const std::optional<bool> value = systemDefault(key)) {
            preferences[key] = *value;
        }
    }
    snapshot["preferences"] = std::move(preferences);
    Json items = Json::array();
    for (const LoginItemEntry& entry : loginItems()) {
        items.push_back(entry.path);
    }
    snapshot["loginItems"] = std::move(items);
    return snapshot;
}

}  // namespace sim::live
