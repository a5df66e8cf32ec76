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
    std::string description;  // for the story: what lies there, as the toolkit sees it, and where
};

ScreenPoint pointAt(double x, double y) {
    return {x, y, whatLiesAt(x, y) + " at " + formatNumber(x) + "," + formatNumber(y)};
}

ScreenPoint middleOf(NodeId node) {
    const Rect frame = desktop().node(node)->frame.value_or(Rect{});
    return pointAt(frame.midX(), frame.midY());
}

ScreenPoint pointOf(const Target& target) {
    switch (target.kind) {
        case Target::Kind::Point:
            return pointAt(target.x, target.y);
        case Target::Kind::DockItem: {
            if (desktop().application(kDockPid) == nullptr) {
                throw StepUnusable{"dock:" + target.title + ": the Dock is not running"};
            }
            const std::optional<NodeId> item = desktop().dockItemTitled(target.title);
            if (!item) {
                throw StepUnusable{"dock:" + target.title + ": no Dock item has that title"};
            }
            return middleOf(*item);
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
            return middleOf(*window);
        }
        case Target::Kind::Control: {
            const std::optional<NodeId> control = desktop().frontControlTitled(target.title);
            if (!control) {
                throw StepUnusable{"control:" + target.title +
                                   ": no window on screen has a control with that title"};
            }
            return middleOf(*control);
        }
        case Target::Kind::MenuItem: {
            const std::optional<NodeId> item = desktop().menuItemTitled(target.title);
            if (!item) {
                throw StepUnusable{"menu:" + target.title +
                                   ": no menu on screen has an item with that title"};
            }
            return middleOf(*item);
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

// The left button's press and release are watched for the story's account of the Dock click.
void press(const ScreenPoint& point, CGEventFlags flags, CGMouseButton button, Story& story) {
    const bool left = button == kCGMouseButtonLeft;
    if (left) {
        story.dockClicks.beforePress();
    }
    frameworks::eventSystem().pressButton(button, point.x, point.y, flags);
    if (left) {
        story.dockClicks.afterPress();
    }
}

void release(const ScreenPoint& point, std::optional<long> clicks, CGEventFlags flags,
             CGMouseButton button, Story& story) {
    const bool left = button == kCGMouseButtonLeft;
    if (left) {
        story.dockClicks.beforeRelease(
            clicks.value_or(frameworks::eventSystem().releaseClickState()));
    }
    frameworks::eventSystem().releaseButton(button, point.x, point.y, clicks, flags);
    if (left) {
        if (const std::optional<std::string> account =
                story.dockClicks.afterRelease(point.x, point.y)) {
            story.explain(*account);
        }
    }
}

// A click is two events; the session settles between them as it does between statements.
void click(const ScreenPoint& point, std::optional<long> clicks, CGEventFlags flags,
           CGMouseButton button, Story& story) {
    press(point, flags, button, story);
    settle();
    release(point, clicks, flags, button, story);
}

}  // namespace

void perform(const PointerStatement& pointer, Story& story) {
    const ScreenPoint point = pointOf(pointer.target);
    const HeldModifiers held(pointer.flags);
    switch (pointer.action) {
        case PointerAction::Press:
            story.tell("the user presses the " + buttonName(pointer.button) + " button on " +
                       point.description + holding(pointer));
            press(point, pointer.flags, pointer.button, story);
            break;
        case PointerAction::Release:
            story.tell(
                "the user releases the " + buttonName(pointer.button) + " button on " +
                point.description +
                clickState(pointer.clicks.value_or(frameworks::eventSystem().releaseClickState())) +
                holding(pointer));
            release(point, pointer.clicks, pointer.flags, pointer.button, story);
            break;
        case PointerAction::Click:
            story.tell("the user " + clickVerb(pointer.button) + " " + point.description +
                       clickState(pointer.clicks) + holding(pointer));
            click(point, pointer.clicks, pointer.flags, pointer.button, story);
            break;
        case PointerAction::DoubleClick:
            story.tell("the user double-clicks " + point.description);
            click(point, 1, pointer.flags, kCGMouseButtonLeft, story);
            settle();
            click(point, 2, pointer.flags, kCGMouseButtonLeft, story);
            break;
        case PointerAction::Move:
            story.tell("the user moves the pointer to " + point.description + holding(pointer));
            frameworks::eventSystem().movePointer(point.x, point.y, pointer.flags);
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
