#include "DesktopScript/DockClickAccount.h"

#include "AppKit/NSWorkspaceInternal.h"
#include "AppKit/SystemLifecycleInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "sim/Desktop.h"
#include "sim/UTF16.h"

namespace sim::script {
namespace {

std::string titled(const char* what, const std::optional<std::u16string>& title) {
    return title ? std::string(what) + " " + quoted(utf8FromUTF16(*title)) : std::string(what);
}

std::string describe(const Node& node) {
    switch (node.kind) {
        case NodeKind::DockItem:
            return titled("the Dock item", node.title);
        case NodeKind::DockList:
            return "the Dock";
        case NodeKind::Window:
            return titled("the window", node.title) + " of " + desktop().nameOf(node.pid);
        case NodeKind::Application:
            return desktop().nameOf(node.pid);
        case NodeKind::Element:
            break;
    }
    if (node.role == u"AXCheckBox") {
        return titled("the check box", node.title);
    }
    if (node.role == u"AXButton") {
        return titled("the button", node.title ? node.title : node.description);
    }
    if (node.role == u"AXStaticText") {
        return titled("the text", node.title);
    }
    return titled(("the " + utf8FromUTF16(node.role)).c_str(), node.title);
}

const Node* dockItemAt(double x, double y) {
    const std::optional<NodeId> hit = desktop().hitTest(x, y, kDockPid);
    const Node* node = hit ? desktop().node(*hit) : nullptr;
    return node != nullptr && node->kind == NodeKind::DockItem ? node : nullptr;
}

std::string clickName(long clickState) {
    switch (clickState) {
        case 2:
            return "a double click";
        case 3:
            return "a triple click";
        default:
            return "a click of click state " + std::to_string(clickState);
    }
}

}  // namespace

std::string whatLiesAt(double x, double y) {
    const std::optional<NodeId> hit = desktop().hitTest(x, y);
    return hit ? describe(*desktop().node(*hit)) : "the desktop";
}

void DockClickAccount::beforePress() {
    before_ = {frameworks::eventSystem().handedToTaps(kCGEventLeftMouseDown),
               frameworks::lastActiveApplicationAnswer().count, desktop().hideRequestCount()};
    activeAtPress_ = desktop().activePid().value_or(0);
}

void DockClickAccount::afterPress() {
    pressSeen_ = frameworks::eventSystem().handedToTaps(kCGEventLeftMouseDown) > before_.handed;
    // What the system read while it was handed the press, when it asked; otherwise what the
    // desktop had active.
    if (const auto& answer = frameworks::lastActiveApplicationAnswer();
        pressSeen_ && answer.count > before_.workspaceAsked) {
        activeAtPress_ = answer.pid;
    }
}

void DockClickAccount::beforeRelease(long clickState) {
    clickState_ = clickState;
    before_ = {frameworks::eventSystem().handedToTaps(kCGEventLeftMouseUp), 0,
               desktop().hideRequestCount()};
}

std::optional<std::string> DockClickAccount::afterRelease(double x, double y) {
    const Node* item = dockItemAt(x, y);
    if (item == nullptr) {
        return std::nullopt;
    }
    const bool releaseSeen =
        frameworks::eventSystem().handedToTaps(kCGEventLeftMouseUp) > before_.handed;
    const bool hid = desktop().hideRequestCount() > before_.hideRequests;
    const std::string active = activeAtPress_ != 0 ? desktop().nameOf(activeAtPress_) : "";
    const std::string facts = describe(*item) + ", click state " + std::to_string(clickState_) +
                              ", " + (active.empty() ? "no application" : active) +
                              " active at the press";

    const std::string system = systemName();
    const Application* activeApp = desktop().application(activeAtPress_);
    std::string verdict;
    if (hid) {
        verdict = active + " was active when the button went down: " + system + " hides it";
    } else if (frameworks::systemState() != frameworks::SystemState::Running) {
        verdict = system + " is not running: nothing watches the Dock";
    } else if (!desktop().accessEnabled()) {
        verdict = "accessibility access is off: " + system + " cannot see the Dock";
    } else if (!releaseSeen) {
        verdict = system + " has no event tap that sees the click: it leaves it";
    } else if (clickState_ != 1) {
        verdict = clickName(clickState_) + ": " + system + " leaves it";
    } else if (!pressSeen_) {
        verdict = system + " did not see the button go down: it leaves it";
    } else if (active.empty()) {
        verdict = "no application was active when the button went down: " + system + " leaves it";
    } else if (item->subrole != u"AXApplicationDockItem") {
        verdict = "not an application's item: " + system + " leaves it";
    } else if (item->title != utf16FromUTF8(active)) {
        verdict = "another application's item: " + system + " leaves " + active;
    } else if (activeApp == nullptr || activeApp->hidden) {
        verdict = active + " is hidden already: " + system + " leaves it";
    } else {
        verdict = system + " leaves it";
    }
    return verdict + (releaseSeen ? " (it read " : " (") + facts + ")";
}

}  // namespace sim::script
