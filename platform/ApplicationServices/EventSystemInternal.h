// The simulated HID event system: event taps, the live state of the pointer, buttons and
// keys, and the road of every posted event: through the taps in placement order, then to the
// Dock or the window under the point (mouse events) or the active application (key events).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "ApplicationServices/CGEvent.h"
#include "RetainPtr.h"
#include "sim/Screen.h"

namespace frameworks {

// How close in time (seconds) and space (points) a press must follow the one before to count
// as part of one multiple click.
inline constexpr double kDoubleClickInterval = 0.5;
inline constexpr double kDoubleClickDistance = 4;

struct EventTap {
    std::uint64_t id = 0;
    CFMachPortRef port = nullptr;  // not retained: the tap lives as long as its port
    CGEventTapLocation location = kCGHIDEventTap;
    CGEventTapPlacement placement = kCGTailAppendEventTap;
    CGEventTapOptions options = kCGEventTapOptionDefault;
    CGEventMask mask = 0;
    CGEventTapCallBack callback = nullptr;
    void* userInfo = nullptr;
    bool enabled = true;
};

class EventSystem {
public:
    void reset();

    // A new tap (+1 port); the tap goes away when its port is invalidated or freed.
    CFMachPortRef createTap(CGEventTapLocation location, CGEventTapPlacement placement,
                            CGEventTapOptions options, CGEventMask mask,
                            CGEventTapCallBack callback, void* userInfo);
    EventTap* tapFor(CFMachPortRef port);
    std::size_t tapCount() const { return taps_.size(); }
    const std::vector<EventTap>& taps() const { return taps_; }
    void enableTap(CFMachPortRef port, bool enable);

    // Who posted an event: the user's hand (the hardware) or a process (CGEventPost).
    enum class Origin { Hand, Process };

    // Delivers the event to the taps at `location` and after it, in order, and then to the
    // desktop; pending hide requests are carried out once every receiver has had it. The
    // session's state follows every event; the hardware's only the hand's.
    void post(CGEventTapLocation location, CGEventRef event, Origin origin);
    // The platform switches every tap off and tells each through its callback.
    void disableTaps(CGEventType reason);

    CGPoint pointer() const { return pointer_; }
    // The buttons, keys and modifier flags down in the table a state ID names: the HID system
    // state is the hardware, the combined session state everything posted to the session. No
    // event source of the session has a private state: it answers nothing down.
    bool buttonDown(CGEventSourceStateID state, CGMouseButton button) const;
    bool keyDown(CGEventSourceStateID state, CGKeyCode key) const;
    CGEventFlags modifierFlags(CGEventSourceStateID state) const;
    // The modifier keys of the combined session state, which new events carry.
    CGEventFlags modifierFlags() const { return session_.flags; }
    // The user's hand: what it holds is in both tables.
    void setButtonDown(CGMouseButton button, bool down);
    void setKeyDown(CGKeyCode key, bool down);
    void setModifierFlags(CGEventFlags flags);
    std::int64_t nextMouseEventNumber() { return ++mouseEventNumber_; }
    // How many events of a type the taps' callbacks have been handed since the session began:
    // the session tells from it whether a tap saw an event of the user's hand.
    std::uint64_t handedToTaps(CGEventType type) const {
        return type < handedToTaps_.size() ? handedToTaps_[type] : 0;
    }

    // The user's hand: a left-button press or release at a point, posted at the HID level. A
    // press carries the click state the window server counts for it (see pressClickState); a
    // release carries the one it is given, or else that of the press it ends
    // (releaseClickState).
    void pressLeft(double x, double y, CGEventFlags flags = 0);
    void releaseLeft(double x, double y, std::optional<SInt64> clickState = std::nullopt,
                     CGEventFlags flags = 0);
    // The pointer moves to a point: a mouse-moved event, or a left-mouse-dragged one while the
    // left button is down.
    void movePointer(double x, double y, CGEventFlags flags = 0);
    // The click state of the user's last left-button press, as macOS counts it: a press within
    // the double-click interval and distance of the press before counts one more than that
    // press, any other press counts 1. 0 before the first press.
    SInt64 pressClickState() const { return lastPress_.clickState; }
    // The click state a release of the left button carries: that of the press it ends, 1 when
    // the button is not down.
    SInt64 releaseClickState() const;

    // The user's hand on another button: a right or other button's press or release at a
    // point, posted at the HID level with that button's event type and number (the left
    // button goes to pressLeft and releaseLeft).
    void pressButton(CGMouseButton button, double x, double y, CGEventFlags flags = 0);
    void releaseButton(CGMouseButton button, double x, double y,
                       std::optional<SInt64> clickState = std::nullopt, CGEventFlags flags = 0);
    // The user's hand on the keyboard: a key goes down or up, posted at the HID level. A
    // modifier key posts a flags-changed event with the flags it leaves; any other key a
    // key-down or key-up event carrying the modifier flags held.
    void pressKey(CGKeyCode key);
    void releaseKey(CGKeyCode key);

private:
    void removeTap(std::uint64_t id);
    void deliverToTaps(CGEventTapLocation location, RetainPtr<CGEventRef>& event, bool& swallowed);
    // The taps at `location` or after it, in delivery order, by id: callbacks may create or
    // release taps, so a walk over them takes their ids first and looks each one up in its turn.
    std::vector<std::uint64_t> tapIdsFrom(CGEventTapLocation location) const;
    // The tap with that id, or null once it has been released.
    EventTap* tapWithId(std::uint64_t id);
    // A left-button event of the user's hand at a point, posted at the HID level.
    void postHandEvent(CGEventType type, double x, double y, CGEventFlags flags, SInt64 clickState);
    void postHandKey(CGKeyCode key, bool down);

    // What is down in one state table.
    struct InputState {
        std::uint32_t buttons = 0;
        std::set<CGKeyCode> keys;
        CGEventFlags flags = 0;

        void setButton(CGMouseButton button, bool down);
        void setKey(CGKeyCode key, bool down);
        // Buttons, keys or flags that a posted event changes.
        void follow(CGEventRef event);
    };
    const InputState* stateFor(CGEventSourceStateID state) const;

    std::vector<EventTap> taps_;  // in delivery order
    std::uint64_t nextTapId_ = 1;
    CGPoint pointer_{sim::kScreenWidth / 2, sim::kScreenHeight / 2};
    InputState hardware_;  // kCGEventSourceStateHIDSystemState
    InputState session_;   // kCGEventSourceStateCombinedSessionState
    std::int64_t mouseEventNumber_ = 0;
    // By event type; the types a hand or a keyboard posts are all below 32.
    std::array<std::uint64_t, 32> handedToTaps_{};
    struct Press {
        double time = 0;
        CGPoint location{};
        SInt64 clickState = 0;
    } lastPress_;
};

EventSystem& eventSystem();

// New events (+1) as CGEventCreate and CGEventCreateMouseEvent make them, but never failing by
// an injected fault: for the session's own events (the user's hand, the notice of a tap
// switched off).
CGEventRef createEvent();
CGEventRef createMouseEvent(CGEventType type, CGPoint location, CGMouseButton button);
CGEventRef createKeyEvent(CGKeyCode key, bool down);

}  // namespace frameworks
