#include "control/SystemPreferences.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <utility>
#include <vector>

#include "ApplicationServices/AccessibilityInternal.h"
#include "CoreFoundation/CFStringInternal.h"
#include "CoreServices/LoginItemListInternal.h"
#include "sim/DisplayName.h"
#include "sim/FileSystem.h"

namespace sim {

using namespace frameworks;
namespace {

// The window stands where macOS first put it; controls are laid out from its top left, below
// its title bar.
constexpr Rect kWindowFrame{320, 140, 668, 460};

struct PaneInfo {
    PreferencePane pane;
    const char* title;
    const char* file;  // the pane's bundle in the system's preference-pane folder
};

constexpr PaneInfo kPanes[] = {
    {PreferencePane::ShowAll, "System Preferences", nullptr},
    {PreferencePane::UniversalAccess, "Universal Access", "UniversalAccessPref.prefPane"},
    {PreferencePane::UsersAndGroups, "Users & Groups", "Accounts.prefPane"},
};

const PaneInfo& infoOf(PreferencePane pane) {
    for (const PaneInfo& info : kPanes) {
        if (info.pane == pane) {
            return info;
        }
    }
    return kPanes[0];
}

struct ListedItem {
    std::uint32_t id = 0;
    std::u16string name;
    bool operator==(const ListedItem&) const = default;
};

// What the running System Preferences shows; empty while it does not run.
struct Model {
    pid_t pid = 0;
    std::map<PreferencePane, NodeId> windows;
    std::map<NodeId, PreferencePane> paneButtons;  // "Show All" and the panes' buttons
    NodeId accessCheckbox = 0;
    NodeId loginList = 0;
    NodeId addButton = 0;
    NodeId removeButton = 0;
    std::vector<ListedItem> shown;
    std::vector<NodeId> rows;
    std::uint32_t selected = 0;  // the login item of the selected row, or 0
};

Model& model() {
    static Model instance;
    return instance;
}

bool running() {
    Model& state = model();
    if (state.pid == 0) {
        return false;
    }
    const Application* app = desktop().application(state.pid);
    if (app == nullptr ||
        utf8FromUTF16(app->bundleIdentifier) != kSystemPreferencesBundleIdentifier) {
        state = Model{};  // it quit: its windows went with it
        return false;
    }
    return true;
}

NodeId addControl(NodeId window, const char* role, const std::string& title, Rect within,
                  bool pressable = true) {
    ElementSpec setup;
    setup.role = role;
    setup.title = title;
    setup.frame =
        Rect{kWindowFrame.x + within.x, kWindowFrame.y + within.y, within.width, within.height};
    if (pressable) {
        setup.actions = {"AXPress"};
    }
    return desktop().addElement(window, setup);
}

void setBoolean(NodeId node, const char* attribute, bool value) {
    frameworks::setAttribute(node, attribute, value ? kCFBooleanTrue : kCFBooleanFalse);
}

NodeId makeWindow(PreferencePane pane) {
    Model& state = model();
    const NodeId window = desktop().addWindow(state.pid, infoOf(pane).title, kWindowFrame, false);
    switch (pane) {
        case PreferencePane::ShowAll:
            state.paneButtons[addControl(window, "AXButton", "Universal Access",
                                         {40, 60, 140, 80})] = PreferencePane::UniversalAccess;
            state
                .paneButtons[addControl(window, "AXButton", "Users & Groups", {200, 60, 140, 80})] =
                PreferencePane::UsersAndGroups;
            break;
        case PreferencePane::UniversalAccess:
            state.accessCheckbox =
                addControl(window, "AXCheckBox", kAssistiveDevicesCheckbox, {20, 400, 320, 20});
            break;
        case PreferencePane::UsersAndGroups: {
            addControl(window, "AXStaticText", "Login Items", {20, 70, 200, 20}, false);
            addControl(window, "AXStaticText",
                       "These items will open automatically when you log in:", {20, 95, 400, 18},
                       false);
            ElementSpec list;
            list.role = "AXList";
            list.frame = Rect{kWindowFrame.x + 20, kWindowFrame.y + 120, 628, 260};
            state.loginList = desktop().addElement(window, list);
            state.addButton = addControl(window, "AXButton", "+", {20, 386, 26, 22});
            state.removeButton = addControl(window, "AXButton", "\u2212", {46, 386, 26, 22});
            frameworks::setAttribute(state.addButton, "AXDescription", CFSTR("Add"));
            frameworks::setAttribute(state.removeButton, "AXDescription", CFSTR("Remove"));
            state.shown.clear();
            state.rows.clear();
            break;
        }
    }
    if (pane != PreferencePane::ShowAll) {
        state.paneButtons[addControl(window, "AXButton", "Show All", {10, 30, 90, 24})] =
            PreferencePane::ShowAll;
    }
    return window;
}

void showPane(PreferencePane pane) {
    Model& state = model();
    for (const auto& [other, window] : state.windows) {
        if (other != pane) {
            desktop().closeWindow(window);
        }
    }
    auto found = state.windows.find(pane);
    if (found == state.windows.end()) {
        found = state.windows.emplace(pane, makeWindow(pane)).first;
    }
    desktop().orderWindowFront(found->second);
    refreshSystemPreferences();
}

std::vector<ListedItem> listedItems() {
    std::vector<ListedItem> items;
    for (const LoginItemRecord& record : loginItemList().entries()) {
        items.push_back({record.id, record.displayName.empty() ? displayNameForPath(utf16FromUTF8(
                                                                     pathOfFileURL(record.url)))
                                                               : record.displayName});
    }
    return items;
}

void showRows(std::vector<ListedItem> items) {
    Model& state = model();
    for (NodeId row : state.rows) {
        desktop().removeElement(row);
    }
    state.rows.clear();
    state.shown = std::move(items);
    const Node* list = desktop().node(state.loginList);
    const Rect frame = list->frame.value_or(Rect{});
    constexpr double kRowHeight = 22;
    for (std::size_t index = 0; index < state.shown.size(); ++index) {
        ElementSpec row;
        row.role = "AXStaticText";
        row.title = utf8FromUTF16(state.shown[index].name);
        row.frame = Rect{frame.x, frame.y + kRowHeight * static_cast<double>(index), frame.width,
                         kRowHeight};
        const NodeId node = desktop().addElement(state.loginList, row);
        const RetainPtr<CFStringRef> value =
            adoptCF<CFStringRef>(NSString::create(state.shown[index].name));
        frameworks::setAttribute(node, "AXValue", value.get());
        state.rows.push_back(node);
    }
}

void showSelection() {
    Model& state = model();
    bool any = false;
    for (std::size_t index = 0; index < state.rows.size(); ++index) {
        const bool selected = state.shown[index].id == state.selected;
        any = any || selected;
        setBoolean(state.rows[index], "AXSelected", selected);
    }
    if (!any) {
        state.selected = 0;
    }
    // "−" acts only on a selected row.
    setBoolean(state.removeButton, "AXEnabled", any);
}

// The application the user came from: the most recently active one with a bundle, other than
// System Preferences and the Dock.
std::optional<pid_t> applicationBefore() {
    for (pid_t pid : desktop().recentlyActive()) {
        const Application* app = desktop().application(pid);
        if (pid != model().pid && pid != kDockPid && app != nullptr && app->bundlePath) {
            return pid;
        }
    }
    return std::nullopt;
}

void addLoginItem() {
    const std::optional<pid_t> pid = applicationBefore();
    if (!pid) {
        return;
    }
    const std::string path = utf8FromUTF16(*desktop().application(*pid)->bundlePath);
    LoginItemRecord entry;
    entry.url = folderURLText(path);
    entry.displayName = displayNameForPath(utf16FromUTF8(path));
    entry.iconPath = utf16FromUTF8(path);
    const std::uint32_t id = loginItemList().insert(LoginItemPosition{}, std::move(entry), nullptr,
                                                    LoginItemList::WhenListed::Move);
    if (id != 0) {
        model().selected = id;
    }
}

}  // namespace

std::optional<PreferencePane> preferencePaneAt(const std::string& path) {
    const std::filesystem::path pane(path);
    if (pane.extension() != ".prefPane" || pane.parent_path() != kPreferencePanesFolder) {
        return std::nullopt;
    }
    for (const PaneInfo& info : kPanes) {
        if (info.file != nullptr && pane.filename() == info.file) {
            return info.pane;
        }
    }
    return PreferencePane::ShowAll;
}

std::optional<pid_t> systemPreferencesPid() {
    return running() ? std::optional(model().pid) : std::nullopt;
}

void openSystemPreferences(PreferencePane pane) {
    if (!running()) {
        ApplicationSpec setup;
        setup.name = kSystemPreferencesName;
        setup.bundleIdentifier = kSystemPreferencesBundleIdentifier;
        setup.bundlePath = kSystemPreferencesBundlePath;
        model().pid = desktop().addApplication(setup);
    }
    showPane(pane);
    desktop().activate(model().pid);
}

bool pressSystemPreferencesControl(NodeId node) {
    if (!running()) {
        return false;
    }
    Model& state = model();
    const Node* control = desktop().node(node);
    if (control == nullptr || control->pid != state.pid) {
        return false;
    }
    if (auto button = state.paneButtons.find(node); button != state.paneButtons.end()) {
        showPane(button->second);
    } else if (node == state.accessCheckbox) {
        desktop().setAccessEnabled(!desktop().accessEnabled());
    } else if (node == state.addButton) {
        addLoginItem();
    } else if (node == state.removeButton) {
        if (state.selected != 0) {
            loginItemList().remove(state.selected, nullptr);
        }
    } else if (auto row = std::find(state.rows.begin(), state.rows.end(), node);
               row != state.rows.end()) {
        state.selected = state.shown[static_cast<std::size_t>(row - state.rows.begin())].id;
    } else {
        return false;
    }
    refreshSystemPreferences();
    return true;
}

void refreshSystemPreferences() {
    if (!running()) {
        return;
    }
    Model& state = model();
    if (state.accessCheckbox != 0) {
        const RetainPtr<CFNumberRef> value =
            adoptCF<CFNumberRef>(NSNumber::createWithLongLong(desktop().accessEnabled() ? 1 : 0));
        frameworks::setAttribute(state.accessCheckbox, "AXValue", value.get());
    }
    if (state.loginList != 0) {
        std::vector<ListedItem> items = listedItems();
        if (items != state.shown) {
            showRows(std::move(items));
        }
        showSelection();
    }
}

void resetSystemPreferences() {
    model() = Model{};
    addVirtualDirectory(kSystemPreferencesBundlePath);
    for (const PaneInfo& info : kPanes) {
        if (info.file != nullptr) {
            addVirtualDirectory(std::string(kPreferencePanesFolder) + "/" + info.file);
        }
    }
}

}  // namespace sim
