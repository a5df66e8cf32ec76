// Properties of the watcher over random desktops and random streams of presses, releases,
// click states, disabled notices, waits and changes of the desktop.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "WatcherTest.h"
#include "sim/Clock.h"

namespace watcherprops {

using frameworks::eventSystem;
using sim::desktop;

// Every integer field of the event, in the order of their field numbers.
std::vector<SInt64> fieldsOf(CGEventRef event) {
    std::vector<SInt64> values;
    for (CGEventField field :
         {kCGMouseEventNumber, kCGMouseEventClickState, kCGMouseEventPressure,
          kCGMouseEventButtonNumber, kCGMouseEventDeltaX, kCGMouseEventDeltaY, kCGMouseEventSubtype,
          kCGKeyboardEventKeycode, kCGEventSourceUnixProcessID}) {
        values.push_back(CGEventGetIntegerValueField(event, field));
    }
    return values;
}

struct AppPlan {
    std::string name;
    std::string itemTitle;
    bool hasItem = true;
    bool hidden = false;
    bool noBundle = false;
};

struct ItemPlan {
    std::string title;
    std::string subrole;
};

struct WindowPlan {
    int app = 0;
    double x = 0, y = 0, width = 0, height = 0;
};

struct DesktopPlan {
    std::vector<AppPlan> apps;
    std::vector<ItemPlan> items;
    std::vector<WindowPlan> windows;
};

// Where the hand goes: a Dock item by index, a window by index, or a point.
struct Target {
    int kind = 0;  // 0 Dock item, 1 window, 2 point
    int index = 0;
    double x = 0, y = 0;
};

struct Step {
    enum Kind {
        Press,
        Release,
        Click,
        DisableByTimeout,
        DisableByUserInput,
        Wait,
        Activate,
        Hide,
        Quit,
        HeldPress  // a press held until the Dock's menu shows, released on its first item
    };
    Kind kind = Press;
    Target target;
    int clickState = 1;
    int app = 0;
    double seconds = 0;
};

// A failing step is shown with its fields (the desktop it ran on is shown as rapidcheck shows
// any value).
void showValue(const Step& step, std::ostream& os) {
    static const char* names[] = {"press", "release",  "click", "timeout", "userinput",
                                  "wait",  "activate", "hide",  "quit",    "held"};
    os << names[step.kind] << "(target " << step.target.kind << ":" << step.target.index << " "
       << step.target.x << "," << step.target.y << " clicks " << step.clickState << " app "
       << step.app << " " << step.seconds << "s)";
}

rc::Gen<std::string> genName() {
    return rc::gen::element<std::string>("Safari", "Notes", "Mail", "safari", "Preview");
}

rc::Gen<DesktopPlan> genDesktop() {
    auto app = rc::gen::apply(
        [](std::string name, int titleKind, bool hasItem, bool hidden, bool noBundle) {
            AppPlan plan{name, name, hasItem, hidden, noBundle};
            if (titleKind == 1) {
                plan.itemTitle =
                    NSString::stringWithUTF8String(name.c_str())->lowercaseString()->utf8();
            } else if (titleKind == 2) {
                plan.itemTitle = name + " ";
            }
            return plan;
        },
        genName(), rc::gen::weightedElement<int>({{8, 0}, {1, 1}, {1, 2}}),
        rc::gen::weightedElement<bool>({{9, true}, {1, false}}),
        rc::gen::weightedElement<bool>({{1, true}, {5, false}}),
        rc::gen::weightedElement<bool>({{1, true}, {6, false}}));
    auto item = rc::gen::apply(
        [](std::string title, std::string subrole) {
            return ItemPlan{title, subrole};
        },
        genName(),
        rc::gen::element<std::string>("AXFolderDockItem", "AXTrashDockItem",
                                      "AXApplicationDockItem", "AXURLDockItem"));
    auto window = rc::gen::apply(
        [](int app, int x, int y, int w, int h) {
            return WindowPlan{app, double(x), double(y), double(w), double(h)};
        },
        rc::gen::inRange(0, 5), rc::gen::inRange(0, 1200), rc::gen::inRange(0, 800),
        rc::gen::inRange(50, 900), rc::gen::inRange(50, 900));
    return rc::gen::apply(
        [](std::vector<AppPlan> apps, std::vector<ItemPlan> items,
           std::vector<WindowPlan> windows) {
            return DesktopPlan{apps, items, windows};
        },
        rc::gen::resize(5, rc::gen::nonEmpty(rc::gen::container<std::vector<AppPlan>>(app))),
        rc::gen::resize(3, rc::gen::container<std::vector<ItemPlan>>(item)),
        rc::gen::resize(4, rc::gen::container<std::vector<WindowPlan>>(window)));
}

rc::Gen<Target> genTarget() {
    return rc::gen::apply(
        [](int kind, int index, int x10, int y10) {
            return Target{kind, index, x10 / 10.0, y10 / 10.0};
        },
        rc::gen::weightedElement<int>({{6, 0}, {2, 1}, {2, 2}}), rc::gen::inRange(0, 8),
        rc::gen::inRange(-100, 14400), rc::gen::inRange(-100, 9000));
}

rc::Gen<Step> genStep() {
    return rc::gen::apply(
        [](Step::Kind kind, Target target, int clickState, int app, int tenths) {
            return Step{kind, target, clickState, app, tenths / 10.0};
        },
        rc::gen::weightedElement<Step::Kind>({{6, Step::Press},
                                              {6, Step::Release},
                                              {8, Step::Click},
                                              {1, Step::DisableByTimeout},
                                              {1, Step::DisableByUserInput},
                                              {2, Step::Wait},
                                              {2, Step::Activate},
                                              {1, Step::Hide},
                                              {1, Step::Quit},
                                              {2, Step::HeldPress}}),
        genTarget(), rc::gen::weightedElement<int>({{1, 0}, {6, 1}, {2, 2}, {1, 3}}),
        rc::gen::inRange(0, 8), rc::gen::inRange(1, 8));
}

class WatcherProperties : public WatcherTest {
protected:
    std::vector<pid_t> build(const DesktopPlan& plan) {
        std::vector<pid_t> pids;
        for (const AppPlan& app : plan.apps) {
            sim::ApplicationSpec setup{};
            setup.name = app.name;
            setup.dockItem = app.hasItem;
            setup.dockItemTitle = app.itemTitle;
            setup.hidden = app.hidden;
            setup.noBundle = app.noBundle;
            setup.bundlePath = "/Applications/" + app.name + std::to_string(pids.size()) + ".app";
            pids.push_back(desktop().addApplication(setup));
        }
        for (const ItemPlan& item : plan.items) {
            sim::DockItemSpec setup;
            setup.title = item.title;
            setup.subrole = item.subrole;
            desktop().addDockItem(setup);
        }
        for (const WindowPlan& window : plan.windows) {
            const pid_t owner = pids[static_cast<std::size_t>(window.app) % pids.size()];
            desktop().addWindow(owner, "W", {window.x, window.y, window.width, window.height});
        }
        return pids;
    }

    static CGPoint pointOf(const Target& target) {
        if (target.kind == 0) {
            const auto items = desktop().dockItems();
            if (!items.empty()) {
                return middleOf(items[static_cast<std::size_t>(target.index) % items.size()]);
            }
        } else if (target.kind == 1) {
            const auto* front = desktop().node(desktop().frontWindowTitled("W").value_or(0));
            if (front != nullptr) {
                return CGPointMake(front->frame->x + 7.5, front->frame->y + 9.25);
            }
        }
        return CGPointMake(target.x, target.y);
    }

    // Whether the watcher's tap would be handed an event now.
    static bool watcherListening() {
        return frameworks::eventSystem().tapCount() == 1 &&
               frameworks::eventSystem().taps().front().enabled;
    }

    // The hide rule, stated on the desktop's own model rather than through the system's code.
    struct Snapshot {
        std::optional<pid_t> pid;
        std::u16string name;
    };
    static bool ruleSaysHide(const Snapshot& snapshot, CGPoint at) {
        const double x = std::trunc(at.x);
        const double y = std::trunc(at.y);
        if (desktop().application(sim::kDockPid) == nullptr || !snapshot.pid) {
            return false;
        }
        const auto hit = desktop().hitTest(x, y);
        if (!hit) {
            return false;
        }
        const sim::Node* node = desktop().node(*hit);
        const sim::Application* app = desktop().application(*snapshot.pid);
        return node->pid == sim::kDockPid && node->subrole == u"AXApplicationDockItem" &&
               app != nullptr && !app->hidden && node->title == snapshot.name;
    }

    static void settle() { CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false); }
};

RC_GTEST_FIXTURE_PROP(WatcherProperties, HidesExactlyWhenTheRuleSaysSo, ()) {
    const DesktopPlan plan = *genDesktop();
    const auto steps = *rc::gen::resize(40, rc::gen::container<std::vector<Step>>(genStep()));
    std::vector<pid_t> pids = build(plan);
    delegate_->installPassiveEventTap();
    Snapshot snapshot;
    int expectedHides = 0;

    for (const Step& step : steps) {
        const pid_t app = pids[static_cast<std::size_t>(step.app) % pids.size()];
        const CGPoint at = pointOf(step.target);
        auto pressAt = [&] {
            if (watcherListening()) {
                snapshot.pid = desktop().activePid();
                const sim::Application* active =
                    snapshot.pid ? desktop().application(*snapshot.pid) : nullptr;
                snapshot.name = active ? active->name : u"";
            }
            press(at);
        };
        auto releaseAt = [&](int clickState) {
            if (watcherListening() && clickState == 1 && ruleSaysHide(snapshot, at)) {
                ++expectedHides;
            }
            const long before = liveObjectsOfTheSystem();
            release(at, clickState);
            RC_ASSERT(liveObjectsOfTheSystem() == before);
            RC_ASSERT(desktop().hideRequestCount() == expectedHides);
        };
        switch (step.kind) {
            case Step::Press:
                pressAt();
                break;
            case Step::Release:
                releaseAt(step.clickState);
                break;
            case Step::Click:
                pressAt();
                releaseAt(1);
                break;
            case Step::DisableByTimeout:
                frameworks::eventSystem().disableTaps(kCGEventTapDisabledByTimeout);
                break;
            case Step::DisableByUserInput:
                frameworks::eventSystem().disableTaps(kCGEventTapDisabledByUserInput);
                break;
            case Step::Wait:
                CFRunLoopRunInMode(kCFRunLoopDefaultMode, step.seconds, false);
                break;
            case Step::Activate:
                desktop().activate(app);
                break;
            case Step::Hide:
                desktop().hide(app);
                break;
            case Step::Quit:
                desktop().quit(app);
                break;
            case Step::HeldPress: {
                pressAt();
                CFRunLoopRunInMode(kCFRunLoopDefaultMode, sim::Desktop::kDockMenuHoldSeconds + 0.1,
                                   false);
                const std::vector<sim::NodeId> menus = desktop().menusOnScreen();
                RC_TAG(menus.empty() ? "held press, no menu" : "held press, menu");
                if (menus.empty()) {
                    releaseAt(1);
                    break;
                }
                const int hidesBefore = desktop().hideRequestCount();
                release(middleOf(desktop().node(menus.front())->children.front()), 1);
                RC_ASSERT(desktop().hideRequestCount() == hidesBefore);
                break;
            }
        }
        settle();
        RC_ASSERT(frameworks::eventSystem().tapCount() <= 1u);
    }
}

RC_GTEST_FIXTURE_PROP(WatcherProperties, TheCallbackReturnsTheEventItGotUnchanged, ()) {
    build(*genDesktop());
    delegate_->installPassiveEventTap();
    const auto events = *rc::gen::resize(
        30, rc::gen::container<std::vector<std::tuple<CGEventType, Target, int, CGEventFlags>>>(
                rc::gen::tuple(
                    rc::gen::weightedElement<CGEventType>({{4, kCGEventLeftMouseDown},
                                                           {4, kCGEventLeftMouseUp},
                                                           {1, kCGEventTapDisabledByTimeout},
                                                           {1, kCGEventTapDisabledByUserInput},
                                                           {1, kCGEventRightMouseDown},
                                                           {1, kCGEventNull}}),
                    genTarget(), rc::gen::inRange(-1, 4),
                    rc::gen::map(rc::gen::inRange(0, 64),
                                 [](int bits) { return static_cast<CGEventFlags>(bits) << 16; }))));
    for (const auto& [type, target, clickState, flags] : events) {
        RetainPtr<CGEventRef> event =
            adoptCF(CGEventCreateMouseEvent(nullptr, type, pointOf(target), kCGMouseButtonLeft));
        CGEventSetIntegerValueField(event.get(), kCGMouseEventClickState, clickState);
        CGEventSetFlags(event.get(), flags);
        RetainPtr<CGEventRef> original = adoptCF(CGEventCreateCopy(event.get()));
        const long before = liveObjectsOfTheSystem();
        CGEventRef returned =
            MyPassiveEventTapCallBack(nullptr, type, event.get(), delegate_.get());
        RC_ASSERT(returned == event.get());
        RC_ASSERT(CGEventGetType(event.get()) == CGEventGetType(original.get()));
        RC_ASSERT(CGEventGetLocation(event.get()).x == CGEventGetLocation(original.get()).x);
        RC_ASSERT(CGEventGetLocation(event.get()).y == CGEventGetLocation(original.get()).y);
        RC_ASSERT(CGEventGetFlags(event.get()) == CGEventGetFlags(original.get()));
        RC_ASSERT(fieldsOf(event.get()) == fieldsOf(original.get()));
        // A disabled notice leaves exactly one pending perform behind (its timer); nothing else
        // of the call outlives it. A press keeps its snapshot, which the fixture's end counts.
        const long scheduled =
            (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) ? 1
                                                                                             : 0;
        if (type != kCGEventLeftMouseDown) {
            RC_ASSERT(liveObjectsOfTheSystem() == before + scheduled);
        }
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.6, false);
        RC_ASSERT(frameworks::eventSystem().tapCount() <= 1u);
    }
}

}  // namespace watcherprops
