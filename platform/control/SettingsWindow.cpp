// The user's hand on the settings window of the system's main interface file: its controls are
// found by what they do (the preference a switch is bound to, the action a control sends), its
// status field by the identifier "status".
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "AppKit/NSButton.h"
#include "AppKit/NSTextField.h"
#include "AppKit/NSWindow.h"
#include "AppKit/SystemLifecycleInternal.h"
#include "TypeCastsCocoa.h"
#include "control/SystemProcess.h"

namespace sim {

using namespace frameworks;
namespace {

template <class T, class Matches>
T* findControl(Matches matches) {
    NSWindow* window = settingsWindow();
    if (window == nullptr) {
        return nullptr;
    }
    for (const auto& view : window->subviews()) {
        auto* control = dynamic_objc_cast<T>(view.get());
        if (control != nullptr && matches(control)) {
            return control;
        }
    }
    return nullptr;
}

NSTextField* statusField() {
    return findControl<NSTextField>([](NSTextField* candidate) {
        return candidate->identifier() != nullptr &&
               candidate->identifier()->isEqualToString(CFSTR("status"));
    });
}

NSButton* switchBoundTo(const std::string& key) {
    return findControl<NSButton>([&](NSButton* candidate) {
        return candidate->boundUserDefaultsKey() != nullptr &&
               candidate->boundUserDefaultsKey()->utf8() == key;
    });
}

std::string hexColor(const NSColor* color) {
    const auto byte = [](CGFloat component) {
        return static_cast<unsigned>(std::lround(std::clamp(component, 0.0, 1.0) * 255));
    };
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", byte(color->redComponent()),
                  byte(color->greenComponent()), byte(color->blueComponent()));
    return text;
}

std::string utf8OrEmpty(const NSString* string) {
    return string != nullptr ? string->utf8() : std::string();
}

}  // namespace

bool settingsWindowOnScreen() {
    NSWindow* window = settingsWindow();
    return systemState() == SystemState::Running && window != nullptr && window->isVisible();
}

std::string settingsStatusText() {
    NSTextField* field = statusField();
    return field != nullptr ? field->stringValue()->utf8() : std::string();
}

std::string settingsStatusColor() {
    NSTextField* field = statusField();
    if (field == nullptr) {
        return {};
    }
    return hexColor(field->textColor());
}

std::optional<bool> settingsControlState(const std::string& key) {
    NSButton* button = switchBoundTo(key);
    if (button == nullptr) {
        return std::nullopt;
    }
    return button->state() == NSControlStateValueOn;
}

bool setSettingsControl(const std::string& key, bool on) {
    if (!settingsWindowOnScreen()) {
        return false;
    }
    NSButton* button = switchBoundTo(key);
    if (button == nullptr) {
        return false;
    }
    // Setting a check box to the value it shows is no click: nothing is stored or sent.
    if ((button->state() == NSControlStateValueOn) != on) {
        NSAutoreleasePool pool;
        button->performClick(nullptr);
    }
    return true;
}

bool pressSettingsAction(const std::string& action) {
    if (!settingsWindowOnScreen()) {
        return false;
    }
    NSControl* control = findControl<NSControl>([&](NSControl* candidate) {
        return candidate->action() != nullptr && action == sel_getName(candidate->action());
    });
    if (control == nullptr) {
        return false;
    }
    NSAutoreleasePool pool;
    if (auto* button = dynamic_objc_cast<NSButton>(control)) {
        button->performClick(nullptr);
    } else {
        control->sendAction(control->action(), control->target());
    }
    return true;
}

void closeSettingsWindow() {
    if (NSWindow* window = settingsWindow();
        window != nullptr && systemState() == SystemState::Running) {
        window->performClose(nullptr);
    }
}

std::string settingsWindowTitle() {
    NSWindow* window = settingsWindow();
    return window != nullptr ? utf8OrEmpty(window->title()) : std::string();
}

std::vector<SettingsView> settingsWindowViews() {
    std::vector<SettingsView> views;
    NSWindow* window = settingsWindow();
    if (window == nullptr) {
        return views;
    }
    for (const auto& subview : window->subviews()) {
        SettingsView view;
        if (const auto* field = dynamic_objc_cast<NSTextField>(subview.get())) {
            view.kind = SettingsView::Kind::Text;
            view.text = utf8OrEmpty(field->stringValue());
            view.color = hexColor(field->textColor());
        } else if (const auto* button = dynamic_objc_cast<NSButton>(subview.get())) {
            view.kind = button->buttonType() == NSButtonTypeSwitch ? SettingsView::Kind::Switch
                                                                   : SettingsView::Kind::Button;
            view.text = utf8OrEmpty(button->title());
            view.key = utf8OrEmpty(button->boundUserDefaultsKey());
        } else {
            continue;
        }
        if (const auto* control = dynamic_objc_cast<NSControl>(subview.get());
            control->action() != nullptr) {
            view.action = sel_getName(control->action());
        }
        view.identifier = utf8OrEmpty(subview->identifier());
        const NSRect frame = subview->frame();
        view.x = frame.origin.x;
        view.y = frame.origin.y;
        view.width = frame.size.width;
        view.height = frame.size.height;
        views.push_back(std::move(view));
    }
    return views;
}

}  // namespace sim
