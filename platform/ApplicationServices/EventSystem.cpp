#include "ApplicationServices/EventSystemInternal.h"

#include <algorithm>
#include <cmath>

#include "ApplicationServices/CGEventInternal.h"
#include "CoreFoundation/CFMachPortInternal.h"
#include "CoreFoundation/CFRunLoopInternal.h"
#include "Foundation/Foundation.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"
#include "sim/Keyboard.h"
#include "sim/Transcript.h"

// The session's keyboard model carries Quartz's own values.
static_assert(sim::kFlagAlphaShift == kCGEventFlagMaskAlphaShift &&
              sim::kFlagShift == kCGEventFlagMaskShift &&
              sim::kFlagControl == kCGEventFlagMaskControl &&
              sim::kFlagAlternate == kCGEventFlagMaskAlternate &&
              sim::kFlagCommand == kCGEventFlagMaskCommand &&
              sim::kFlagSecondaryFn == kCGEventFlagMaskSecondaryFn &&
              sim::kKeyDownEvent == kCGEventKeyDown);

namespace frameworks {

using namespace sim;
namespace {

const char* describeOptions(CGEventTapOptions options) {
    return options == kCGEventTapOptionListenOnly ? "listen-only" : "filtering";
}

const char* describeLocation(CGEventTapLocation location) {
    switch (location) {
        case kCGHIDEventTap:
            return "HID";
        case kCGSessionEventTap:
            return "session";
        default:
            return "annotated session";
    }
}

bool isMouseType(CGEventType type) {
    return (type >= kCGEventLeftMouseDown && type <= kCGEventRightMouseDragged) ||
           (type >= kCGEventOtherMouseDown && type <= kCGEventOtherMouseDragged);
}

// The button that a mouse event's type names, or its button-number field for "other" types.
CGMouseButton buttonOf(const __CGEvent* event) {
    switch (event->type) {
        case kCGEventLeftMouseDown:
        case kCGEventLeftMouseUp:
        case kCGEventLeftMouseDragged:
            return kCGMouseButtonLeft;
        case kCGEventRightMouseDown:
        case kCGEventRightMouseUp:
        case kCGEventRightMouseDragged:
            return kCGMouseButtonRight;
        default: {
            auto field = event->fields.find(kCGMouseEventButtonNumber);
            return field == event->fields.end() ? kCGMouseButtonCenter
                                                : static_cast<CGMouseButton>(field->second);
        }
    }
}

struct __CGEventTapProxyTag {
} gProxyTag;

}  // namespace

EventSystem& eventSystem() {
    static EventSystem instance;
    return instance;
}

void EventSystem::reset() {
    // Ports that outlive the reset must not find their taps again.
    for (EventTap& tap : taps_) {
        tap.port = nullptr;
    }
    taps_.clear();
    pointer_ = {kScreenWidth / 2, kScreenHeight / 2};
    hardware_ = InputState{};
    session_ = InputState{};
    mouseEventNumber_ = 0;
    lastPress_ = Press{};
    handedToTaps_.fill(0);
}

CFMachPortRef EventSystem::createTap(CGEventTapLocation location, CGEventTapPlacement placement,
                                     CGEventTapOptions options, CGEventMask mask,
                                     CGEventTapCallBack callback, void* userInfo) {
    EventTap tap;
    tap.id = nextTapId_++;
    tap.location = location;
    tap.placement = placement;
    tap.options = options;
    tap.mask = mask;
    tap.callback = callback;
    tap.userInfo = userInfo;
    const std::uint64_t id = tap.id;
    tap.port = __CFMachPort::create([this, id] { removeTap(id); });
    // Head-inserted taps go before the other taps of their location, tail-appended after.
    auto position = std::find_if(taps_.begin(), taps_.end(), [&](const EventTap& other) {
        return placement == kCGHeadInsertEventTap ? other.location >= location
                                                  : other.location > location;
    });
    CFMachPortRef port = tap.port;
    taps_.insert(position, tap);
    record(std::string("event tap created (") + describeOptions(options) + ", " +
           describeLocation(location) + ")");
    return port;
}

void EventSystem::removeTap(std::uint64_t id) {
    auto found =
        std::find_if(taps_.begin(), taps_.end(), [&](const EventTap& tap) { return tap.id == id; });
    if (found != taps_.end()) {
        taps_.erase(found);
        record("event tap released");
    }
}

EventTap* EventSystem::tapFor(CFMachPortRef port) {
    auto found = std::find_if(taps_.begin(), taps_.end(),
                              [&](const EventTap& tap) { return tap.port == port; });
    return found == taps_.end() ? nullptr : &*found;
}

void EventSystem::enableTap(CFMachPortRef port, bool enable) {
    EventTap* tap = tapFor(port);
    if (tap == nullptr || tap->enabled == enable) {
        return;
    }
    tap->enabled = enable;
    record(enable ? "event tap re-enabled" : "event tap switched off");
}

void EventSystem::InputState::setButton(CGMouseButton button, bool down) {
    if (button < 32) {
        buttons = down ? (buttons | (1u << button)) : (buttons & ~(1u << button));
    }
}

void EventSystem::InputState::setKey(CGKeyCode key, bool down) {
    down ? (void)keys.insert(key) : (void)keys.erase(key);
}

void EventSystem::InputState::follow(CGEventRef posted) {
    const __CGEvent* event = layoutOf(posted);
    switch (event->type) {
        case kCGEventLeftMouseDown:
        case kCGEventRightMouseDown:
        case kCGEventOtherMouseDown:
            setButton(buttonOf(event), true);
            break;
        case kCGEventLeftMouseUp:
        case kCGEventRightMouseUp:
        case kCGEventOtherMouseUp:
            setButton(buttonOf(event), false);
            break;
        case kCGEventKeyDown:
        case kCGEventKeyUp: {
            auto code = event->fields.find(kCGKeyboardEventKeycode);
            setKey(code == event->fields.end() ? 0 : static_cast<CGKeyCode>(code->second),
                   event->type == kCGEventKeyDown);
            break;
        }
        case kCGEventFlagsChanged: {
            flags = event->flags;
            // The modifier key that changed is down exactly while its flag is set.
            auto code = event->fields.find(kCGKeyboardEventKeycode);
            if (code != event->fields.end()) {
                const auto key = static_cast<CGKeyCode>(code->second);
                if (const CGEventFlags flag = modifierFlagOfKey(key); flag != 0) {
                    setKey(key, (flags & flag) != 0);
                }
            }
            break;
        }
        default:
            break;
    }
}

const EventSystem::InputState* EventSystem::stateFor(CGEventSourceStateID state) const {
    switch (state) {
        case kCGEventSourceStateHIDSystemState:
            return &hardware_;
        case kCGEventSourceStateCombinedSessionState:
            return &session_;
        default:
            return nullptr;
    }
}

bool EventSystem::buttonDown(CGEventSourceStateID state, CGMouseButton button) const {
    const InputState* table = stateFor(state);
    return table != nullptr && button < 32 && ((table->buttons >> button) & 1u) != 0;
}

bool EventSystem::keyDown(CGEventSourceStateID state, CGKeyCode key) const {
    const InputState* table = stateFor(state);
    return table != nullptr && table->keys.count(key) != 0;
}

CGEventFlags EventSystem::modifierFlags(CGEventSourceStateID state) const {
    const InputState* table = stateFor(state);
    return table != nullptr ? table->flags : 0;
}

void EventSystem::setButtonDown(CGMouseButton button, bool down) {
    hardware_.setButton(button, down);
    session_.setButton(button, down);
}

void EventSystem::setKeyDown(CGKeyCode key, bool down) {
    hardware_.setKey(key, down);
    session_.setKey(key, down);
}

void EventSystem::setModifierFlags(CGEventFlags flags) {
    hardware_.flags = flags;
    session_.flags = flags;
}

std::vector<std::uint64_t> EventSystem::tapIdsFrom(CGEventTapLocation location) const {
    std::vector<std::uint64_t> ids;
    for (const EventTap& tap : taps_) {
        if (tap.location >= location) {
            ids.push_back(tap.id);
        }
    }
    return ids;
}

EventTap* EventSystem::tapWithId(std::uint64_t id) {
    auto found =
        std::find_if(taps_.begin(), taps_.end(), [&](const EventTap& tap) { return tap.id == id; });
    return found == taps_.end() ? nullptr : &*found;
}

void EventSystem::deliverToTaps(CGEventTapLocation location, RetainPtr<CGEventRef>& event,
                                bool& swallowed) {
    for (std::uint64_t id : tapIdsFrom(location)) {
        const EventTap* found = tapWithId(id);
        if (found == nullptr) {
            continue;
        }
        const EventTap tap = *found;  // a copy: its callback may release it
        const CGEventType type = layoutOf(event.get())->type;
        if (!tap.enabled || type >= 64 || (tap.mask & CGEventMaskBit(type)) == 0 ||
            !_CFRunLoopServesPort(CFRunLoopGetMain(), tap.port)) {
            continue;
        }
        auto* proxy = reinterpret_cast<CGEventTapProxy>(&gProxyTag);
        if (type < handedToTaps_.size()) {
            ++handedToTaps_[type];
        }
        if (tap.options == kCGEventTapOptionListenOnly) {
            // A listener sees a copy: whatever it does, the event goes on as it came.
            RetainPtr<CGEventRef> copy = adoptCF(CGEventCreateCopy(event.get()));
            tap.callback(proxy, type, copy.get(), tap.userInfo);
            continue;
        }
        CGEventRef result = tap.callback(proxy, type, event.get(), tap.userInfo);
        if (result == nullptr) {
            swallowed = true;
            return;
        }
        if (result != event.get()) {
            event = adoptCF(result);  // a new event from the filter replaces the old one
        }
    }
}

void EventSystem::post(CGEventTapLocation location, CGEventRef posted, Origin origin) {
    RetainPtr<CGEventRef> event = retainPtr(posted);
    const __CGEvent* layout = layoutOf(posted);
    if (isMouseType(layout->type)) {
        pointer_ = layout->location;
    }
    session_.follow(event.get());
    if (origin == Origin::Hand) {
        hardware_.follow(event.get());
    }
    bool swallowed = false;
    deliverToTaps(location, event, swallowed);
    // A filter may have put another event in its place.
    const __CGEvent* delivered = layoutOf(event.get());
    if (!swallowed && isMouseType(delivered->type)) {
        const Desktop::MouseEvent routed =
            delivered->type == kCGEventLeftMouseDown      ? Desktop::MouseEvent::LeftDown
            : delivered->type == kCGEventLeftMouseDragged ? Desktop::MouseEvent::LeftDragged
            : delivered->type == kCGEventLeftMouseUp      ? Desktop::MouseEvent::LeftUp
            : delivered->type == kCGEventRightMouseDown   ? Desktop::MouseEvent::RightDown
            : delivered->type == kCGEventRightMouseUp     ? Desktop::MouseEvent::RightUp
                                                          : Desktop::MouseEvent::Other;
        desktop().routeMouseEvent(routed, delivered->location.x, delivered->location.y,
                                  delivered->flags);
    }
    if (!swallowed && delivered->type >= kCGEventKeyDown &&
        delivered->type <= kCGEventFlagsChanged) {
        auto code = delivered->fields.find(kCGKeyboardEventKeycode);
        desktop().routeKeyEvent(delivered->type,
                                code == delivered->fields.end()
                                    ? CGKeyCode{0xFFFF}
                                    : static_cast<CGKeyCode>(code->second),
                                delivered->flags);
    }
    desktop().applyPendingHides();
}

void EventSystem::disableTaps(CGEventType reason) {
    for (std::uint64_t id : tapIdsFrom(kCGHIDEventTap)) {
        EventTap* found = tapWithId(id);
        if (found == nullptr) {
            continue;
        }
        found->enabled = false;
        const EventTap tap = *found;
        record(std::string("event tap switched off (") +
               (reason == kCGEventTapDisabledByTimeout ? "timeout" : "user input") + ")");
        if (!_CFRunLoopServesPort(CFRunLoopGetMain(), tap.port)) {
            continue;
        }
        RetainPtr<CGEventRef> notice = adoptCF(createEvent());
        layoutOf(notice.get())->type = reason;
        tap.callback(reinterpret_cast<CGEventTapProxy>(&gProxyTag), reason, notice.get(),
                     tap.userInfo);
    }
}

void EventSystem::pressLeft(double x, double y, CGEventFlags flags) {
    const double now = clockNow();
    const bool continues =
        lastPress_.clickState > 0 && now - lastPress_.time <= frameworks::kDoubleClickInterval &&
        std::hypot(x - lastPress_.location.x, y - lastPress_.location.y) <= kDoubleClickDistance;
    lastPress_ = {now, CGPointMake(x, y), continues ? lastPress_.clickState + 1 : 1};
    postHandEvent(kCGEventLeftMouseDown, x, y, flags, lastPress_.clickState);
}

void EventSystem::movePointer(double x, double y, CGEventFlags flags) {
    const bool dragging = buttonDown(kCGEventSourceStateHIDSystemState, kCGMouseButtonLeft);
    postHandEvent(dragging ? kCGEventLeftMouseDragged : kCGEventMouseMoved, x, y, flags, 1);
}

SInt64 EventSystem::releaseClickState() const {
    return buttonDown(kCGEventSourceStateHIDSystemState, kCGMouseButtonLeft)
               ? std::max<SInt64>(1, lastPress_.clickState)
               : 1;
}

void EventSystem::releaseLeft(double x, double y, std::optional<SInt64> clickState,
                              CGEventFlags flags) {
    postHandEvent(kCGEventLeftMouseUp, x, y, flags, clickState.value_or(releaseClickState()));
}

void EventSystem::postHandEvent(CGEventType type, double x, double y, CGEventFlags flags,
                                SInt64 clickState) {
    RetainPtr<CGEventRef> event =
        adoptCF(createMouseEvent(type, CGPointMake(x, y), kCGMouseButtonLeft));
    __CGEvent* layout = layoutOf(event.get());
    layout->flags = flags;
    layout->fields[kCGMouseEventClickState] = clickState;
    post(kCGHIDEventTap, event.get(), Origin::Hand);
}

void EventSystem::pressButton(CGMouseButton button, double x, double y, CGEventFlags flags) {
    if (button == kCGMouseButtonLeft) {
        pressLeft(x, y, flags);
        return;
    }
    RetainPtr<CGEventRef> event = adoptCF(createMouseEvent(
        button == kCGMouseButtonRight ? kCGEventRightMouseDown : kCGEventOtherMouseDown,
        CGPointMake(x, y), button));
    layoutOf(event.get())->flags = flags;
    post(kCGHIDEventTap, event.get(), Origin::Hand);
}

void EventSystem::releaseButton(CGMouseButton button, double x, double y,
                                std::optional<SInt64> clickState, CGEventFlags flags) {
    if (button == kCGMouseButtonLeft) {
        releaseLeft(x, y, clickState, flags);
        return;
    }
    RetainPtr<CGEventRef> event = adoptCF(createMouseEvent(
        button == kCGMouseButtonRight ? kCGEventRightMouseUp : kCGEventOtherMouseUp,
        CGPointMake(x, y), button));
    __CGEvent* layout = layoutOf(event.get());
    layout->flags = flags;
    layout->fields[kCGMouseEventClickState] = clickState.value_or(1);
    post(kCGHIDEventTap, event.get(), Origin::Hand);
}

void EventSystem::pressKey(CGKeyCode key) {
    postHandKey(key, true);
}

void EventSystem::releaseKey(CGKeyCode key) {
    postHandKey(key, false);
}

void EventSystem::postHandKey(CGKeyCode key, bool down) {
    RetainPtr<CGEventRef> event = adoptCF(createKeyEvent(key, down));
    __CGEvent* layout = layoutOf(event.get());
    layout->flags = hardware_.flags;
    if (const CGEventFlags flag = modifierFlagOfKey(key); flag != 0) {
        layout->type = kCGEventFlagsChanged;
        layout->flags = down ? (hardware_.flags | flag) : (hardware_.flags & ~flag);
    }
    post(kCGHIDEventTap, event.get(), Origin::Hand);
}

}  // namespace frameworks
