// The keyboard shortcuts every application answers, and the application switcher.
#include <algorithm>

#include "sim/Desktop.h"
#include "sim/Keyboard.h"
#include "sim/Transcript.h"

namespace sim {
namespace {

constexpr KeyCode kKeyH = 4;
constexpr KeyCode kKeyQ = 12;
constexpr KeyCode kKeyW = 13;
constexpr KeyCode kKeyTab = 48;
constexpr KeyCode kKeyEscape = 53;

// The modifiers that tell shortcuts apart; caps lock and fn change none of them.
constexpr EventFlags kShortcutFlags = kFlagCommand | kFlagAlternate | kFlagControl | kFlagShift;

}  // namespace

std::vector<pid_t> Desktop::switcherOrder() const {
    std::vector<pid_t> order;
    auto offered = [&](pid_t pid) {
        const Application* app = application(pid);
        return app != nullptr && pid != kDockPid && app->foreground && !app->backgroundOnly &&
               std::find(order.begin(), order.end(), pid) == order.end();
    };
    for (pid_t pid : recentlyActive_) {
        if (offered(pid)) {
            order.push_back(pid);
        }
    }
    for (pid_t pid : launchOrder_) {
        if (offered(pid)) {
            order.push_back(pid);
        }
    }
    return order;
}

void Desktop::routeKeyEvent(std::uint32_t type, std::uint16_t key, std::uint64_t flags) {
    const bool command = (flags & kFlagCommand) != 0;
    if (switcherChoice_ && (!command || (type == kKeyDownEvent && key == kKeyEscape))) {
        // Letting go of Command activates the chosen application; Escape puts the switcher
        // away with nothing chosen.
        const pid_t chosen = *switcherChoice_;
        switcherChoice_.reset();
        if (command) {
            record("the application switcher is dismissed");
        } else if (application(chosen) != nullptr) {
            activate(chosen);
        }
        return;
    }
    if (type != kKeyDownEvent || !command) {
        return;
    }
    const EventFlags shortcut = flags & kShortcutFlags;
    if (key == kKeyTab && (shortcut & ~kFlagShift) == kFlagCommand) {
        const std::vector<pid_t> order = switcherOrder();
        if (order.empty()) {
            return;
        }
        const auto count = static_cast<std::ptrdiff_t>(order.size());
        const std::optional<pid_t> from = switcherChoice_ ? switcherChoice_ : active_;
        const auto at = from ? std::find(order.begin(), order.end(), *from) : order.end();
        const bool backwards = (shortcut & kFlagShift) != 0;
        std::ptrdiff_t index = 0;
        if (at == order.end()) {
            index = backwards ? count - 1 : 0;
        } else {
            index = ((at - order.begin()) + (backwards ? count - 1 : 1)) % count;
        }
        switcherChoice_ = order[static_cast<std::size_t>(index)];
        record("the application switcher chooses " + nameOf(*switcherChoice_));
        return;
    }
    if (!active_) {
        return;
    }
    const pid_t pid = *active_;
    if (key == kKeyH && shortcut == kFlagCommand) {
        hide(pid);
    } else if (key == kKeyH && shortcut == (kFlagCommand | kFlagAlternate)) {
        for (pid_t other : switcherOrder()) {
            if (other != pid) {
                hide(other);
            }
        }
    } else if (key == kKeyQ && shortcut == kFlagCommand) {
        // An application with code of its own (the system) quits through its termination path.
        if (!commandHandler_ || !commandHandler_(pid, AppCommand::Quit)) {
            quit(pid);
        }
    } else if (key == kKeyW && shortcut == kFlagCommand) {
        if (commandHandler_ && commandHandler_(pid, AppCommand::CloseWindow)) {
            return;
        }
        if (const std::vector<NodeId> windows = windowsOf(pid); !windows.empty()) {
            closeWindow(windows.front());
        }
    }
}

}  // namespace sim
