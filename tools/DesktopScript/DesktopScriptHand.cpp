// The user's hand: button presses and releases and pointer moves posted at the HID level, at a
// point or the middle of a Dock item, a window or a control, with modifier keys held; and
// the platform switching the event taps off.
#include "ApplicationServices/EventSystemInternal.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"

namespace sim::script {
namespace {

struct ScreenPoint {
    double x = 0;
    double y = 0;
    std::string description;  // for the story: what lies there and where
};

std::string coordinates(double x, double y) {
    return formatNumber(x) + "," + formatNumber(y);
}

ScreenPoint middleOf(NodeId node, const std::string& what) {
    const Rect frame = desktop().node(node)->frame.value_or(Rect{});
    return {frame.midX(), frame.midY(), what + " at " + coordinates(frame.midX(), frame.midY())};
}

ScreenPoint pointOf(const Target& target) {
    switch (target.kind) {
        case Target::Kind::Point:
            return {target.x, target.y, coordinates(target.x, target.y)};
        case Target::Kind::DockItem: {
            if (desktop().application(kDockPid) == nullptr) {
                throw StepUnusable{"dock:" + target.title + ": the Dock is not running"};
            }
            const std::optional<NodeId> item = desktop().dockItemTitled(target.title);
            if (!item) {
                throw StepUnusable{"dock:" + target.title + ": no Dock item has that title"};
            }
            return middleOf(*item, "the Dock item " + quoted(target.title));
        }
        case Target::Kind::Window: {
            const std::optional<NodeId> window = desktop().frontWindowTitled(target.title);
            if (!window) {
                throw StepUnusable{"window:" + target.title +
                                   ": no window on screen has that title"};
            }
            const Application* owner = desktop().application(desktop().node(*window)->pid);
            if (owner == nullptr || owner->hidden) {
                throw StepUnusable{"window:" + target.title +
                                   ": the window is not on screen, its application is hidden"};
            }
            return middleOf(*window, "the window " + quoted(target.title));
        }
        case Target::Kind::Control: {
            const std::optional<NodeId> control = desktop().frontControlTitled(target.title);
            if (!control) {
                throw StepUnusable{"control:" + target.title +
                                   ": no window on screen has a control with that title"};
            }
            return middleOf(*control, "the control " + quoted(target.title));
        }
        case Target::Kind::MenuItem: {
            const std::optional<NodeId> item = desktop().menuItemTitled(target.title);
            if (!item) {
                throw StepUnusable{"menu:" + target.title +
                                   ": no menu on screen has an item with that title"};
            }
            return middleOf(*item, "the menu item " + quoted(target.title));
        }
    }
    return {};
}

std::string holding(const PointerStatement& pointer) {
    std::string keys;
    for (const std::string& key : pointer.modifiers) {
        keys += (keys.empty() ? "" : "+") + key;
    }
    return keys.empty() ? "" : " holding " + keys;
}

std::string clickState(std::optional<long> clicks) {
    return !clicks || *clicks == 1 ? "" : " (click state " + std::to_string(*clicks) + ")";
}

// The modifier keys are held while the button moves, and let go afterwards.
class HeldModifiers {
public:
    explicit HeldModifiers(CGEventFlags flags)
        : before_(frameworks::eventSystem().modifierFlags(kCGEventSourceStateHIDSystemState)) {
        frameworks::eventSystem().setModifierFlags(flags);
    }
    ~HeldModifiers() { frameworks::eventSystem().setModifierFlags(before_); }
    HeldModifiers(const HeldModifiers&) = delete;
    HeldModifiers& operator=(const HeldModifiers&) = delete;

private:
    CGEventFlags before_;
};

std::string buttonName(CGMouseButton button) {
    return button == kCGMouseButtonLeft    ? "left"
           : button == kCGMouseButtonRight ? "right"
                                           : "other";
}

// "clicks" for the left button, "right-clicks" or "other-clicks" for the others.
std::string clickVerb(CGMouseButton button) {
    return button == kCGMouseButtonLeft ? "clicks" : buttonName(button) + "-clicks";
}

void press(const ScreenPoint& at, CGEventFlags flags, CGMouseButton button) {
    frameworks::eventSystem().pressButton(button, at.x, at.y, flags);
}

void release(const ScreenPoint& at, std::optional<long> clicks, CGEventFlags flags,
             CGMouseButton button) {
    frameworks::eventSystem().releaseButton(button, at.x, at.y, clicks, flags);
}

// A click is two events; the session settles between them as it does between statements.
void click(const ScreenPoint& at, std::optional<long> clicks, CGEventFlags flags,
           CGMouseButton button = kCGMouseButtonLeft) {
    press(at, flags, button);
    settle();
    release(at, clicks, flags, button);
}

}  // namespace

void perform(const PointerStatement& pointer, Story& story) {
    const ScreenPoint at = pointOf(pointer.target);
    const HeldModifiers held(pointer.flags);
    switch (pointer.action) {
        case PointerAction::Press:
            story.tell("the user presses the " + buttonName(pointer.button) + " button on " +
                       at.description + holding(pointer));
            press(at, pointer.flags, pointer.button);
            break;
        case PointerAction::Release:
            story.tell(
                "the user releases the " + buttonName(pointer.button) + " button on " +
                at.description +
                clickState(pointer.clicks.value_or(frameworks::eventSystem().releaseClickState())) +
                holding(pointer));
            release(at, pointer.clicks, pointer.flags, pointer.button);
            break;
        case PointerAction::Click:
            story.tell("the user " + clickVerb(pointer.button) + " " + at.description +
                       clickState(pointer.clicks) + holding(pointer));
            click(at, pointer.clicks, pointer.flags, pointer.button);
            break;
        case PointerAction::DoubleClick:
            story.tell("the user double-clicks " + at.description);
            click(at, 1, pointer.flags);
            settle();
            click(at, 2, pointer.flags);
            break;
        case PointerAction::Move:
            story.tell("the user moves the pointer to " + at.description + holding(pointer));
            frameworks::eventSystem().movePointer(at.x, at.y, pointer.flags);
            break;
    }
}

void perform(const TapDisableStatement& statement, Story& story) {
    story.tell(statement.reason == kCGEventTapDisabledByTimeout
                   ? "the platform switches the event taps off: a callback took too long"
                   : "the platform switches the event taps off: secure input began");
    frameworks::eventSystem().disableTaps(statement.reason);
}

}  // namespace sim::script
