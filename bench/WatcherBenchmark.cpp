// The cost of the watcher's tap callback per event, the platform calls each kind of event
// makes, the callback against the floor of the platform calls it cannot do without, and
// whether memory stays flat over a long mixed stream of events.
//
//   build/bench/watcher_benchmark
//   build/bench/watcher_benchmark --benchmark_filter=AgainstFloor
// For repeatable figures, count instructions: the inclusive costs of `callback` and of
// hidingReleaseFloor / pressFloor (20,000 calls each, the first callback of either kind):
//   valgrind --tool=callgrind build/bench/watcher_benchmark --benchmark_filter=AgainstFloor
//   callgrind_annotate --inclusive=yes callgrind.out.<pid>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include <UIElement/UIElement.h>

#include "ApplicationServices/EventSystemInternal.h"
#include "QuenfoldAppDelegate.h"
#include "sim/Desktop.h"
#include "sim/Faults.h"
#include "sim/Transcript.h"

namespace {

using sim::desktop;

// A desktop of a few applications, with the watcher installed.
struct World {
    RetainPtr<QuenfoldAppDelegate*> delegate;
    pid_t safari = 0;
    CGPoint safariItem{};
    CGPoint notesItem{};
    CGPoint windowPoint{};

    World() {
        sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
        sim::reset();
        for (const char* name : {"Notes", "Mail", "Preview", "Safari"}) {
            sim::ApplicationSpec setup;
            setup.name = name;
            const pid_t pid = desktop().addApplication(setup);
            desktop().activate(pid);
            if (std::string(name) == "Safari") {
                safari = pid;
            }
        }
        desktop().addWindow(safari, "Start", {200, 100, 800, 600});
        safariItem = center(*desktop().dockItemTitled("Safari"));
        notesItem = center(*desktop().dockItemTitled("Notes"));
        windowPoint = CGPointMake(400, 300);
        set_systemWideElement();
        delegate = adoptCF(new QuenfoldAppDelegate());
        delegate->installPassiveEventTap();
    }
    ~World() {
        delegate.clear();
        sim::reset();
    }

    static CGPoint center(sim::NodeId node) {
        const sim::Rect frame = *desktop().node(node)->frame;
        return CGPointMake(frame.midX(), frame.midY());
    }

    static RetainPtr<CGEventRef> event(CGEventType type, CGPoint at, SInt64 clickState) {
        RetainPtr<CGEventRef> made =
            adoptCF(CGEventCreateMouseEvent(nullptr, type, at, kCGMouseButtonLeft));
        CGEventSetIntegerValueField(made.get(), kCGMouseEventClickState, clickState);
        return made;
    }

    // The press that precedes the releases: Safari is active when the button goes down.
    void pressOnSafari() {
        RetainPtr<CGEventRef> press = event(kCGEventLeftMouseDown, safariItem, 1);
        MyPassiveEventTapCallBack(nullptr, kCGEventLeftMouseDown, press.get(), delegate.get());
    }

    // Undoes a hide request outside the measurement: Safari visible and active again.
    void restore() {
        desktop().applyPendingHides();
        desktop().activate(safari);
        sim::clearTranscript();
    }
};

// Platform calls that one callback of this event makes, as benchmark counters.
void countCalls(benchmark::State& state, World& world, CGEventType type, CGEventRef event) {
    sim::resetCallCounts();
    MyPassiveEventTapCallBack(nullptr, type, event, world.delegate.get());
    for (const auto& [call, count] : sim::callCounts()) {
        state.counters[call] = static_cast<double>(count);
    }
    world.restore();
}

// Times the callback on one event, then reports the platform calls that event makes. A release
// that asks for a hide is undone after each call, outside the measurement, so that every call
// takes the whole road.
void measureCallback(benchmark::State& state, World& world, CGEventType type, CGPoint at,
                     SInt64 clickState, bool undoEachHide = false) {
    RetainPtr<CGEventRef> event = World::event(type, at, clickState);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            MyPassiveEventTapCallBack(nullptr, type, event.get(), world.delegate.get()));
        if (undoEachHide) {
            state.PauseTiming();
            world.restore();
            state.ResumeTiming();
        }
    }
    countCalls(state, world, type, event.get());
}

void BM_Press(benchmark::State& state) {
    World world;
    measureCallback(state, world, kCGEventLeftMouseDown, world.safariItem, 1);
}
BENCHMARK(BM_Press);

void BM_SingleClickReleaseOnDockItem(benchmark::State& state) {
    World world;
    world.pressOnSafari();
    measureCallback(state, world, kCGEventLeftMouseUp, world.safariItem, 1, true);
}
BENCHMARK(BM_SingleClickReleaseOnDockItem);

void BM_ReleaseElsewhere(benchmark::State& state) {
    World world;
    world.pressOnSafari();
    measureCallback(state, world, kCGEventLeftMouseUp, world.windowPoint, 1);
}
BENCHMARK(BM_ReleaseElsewhere);

void BM_SecondReleaseOfDoubleClick(benchmark::State& state) {
    World world;
    world.pressOnSafari();
    measureCallback(state, world, kCGEventLeftMouseUp, world.safariItem, 2);
}
BENCHMARK(BM_SecondReleaseOfDoubleClick);

// --- The callback against the floor of its platform calls

// The platform calls that no implementation of the hide rule can do without at a single-click
// release on a Dock item, made directly: the event's click state and location, the Dock's
// process, the element under the point, its subrole and title, the process it belongs to, the
// application noted at the press, whether it is hidden, and the hide request. The pool stands
// for the one every event cycle has.
[[gnu::noinline]] void hidingReleaseFloor(CGEventRef event, pid_t snapshotPid) {
    NSAutoreleasePool pool;
    if (CGEventGetIntegerValueField(event, kCGMouseEventClickState) != 1) {
        return;
    }
    const CGPoint at = CGEventGetLocation(event);
    NSArray* docks =
        NSRunningApplication::runningApplicationsWithBundleIdentifier(CFSTR("com.apple.dock"));
    if (docks->count() == 0 ||
        static_cast<NSRunningApplication*>(docks->objectAtIndex(0))->processIdentifier() == -1) {
        return;
    }
    RetainPtr<AXUIElementRef> element;
    if (AXUIElementCopyElementAtPosition(_systemWideElement, static_cast<float>(at.x),
                                         static_cast<float>(at.y),
                                         element.initializeInto()) != kAXErrorSuccess) {
        return;
    }
    static const NSArray* const names = [] {
        NSMutableArray* made = NSMutableArray::create();
        made->addObject(CFSTR("AXSubrole"));
        made->addObject(CFSTR("AXTitle"));
        return made;
    }();
    RetainPtr<CFArrayRef> values;
    pid_t owner = 0;
    if (AXUIElementCopyMultipleAttributeValues(element.get(), names, 0, values.initializeInto()) !=
            kAXErrorSuccess ||
        AXUIElementGetPid(element.get(), &owner) != kAXErrorSuccess) {
        return;
    }
    NSRunningApplication* application =
        NSRunningApplication::runningApplicationWithProcessIdentifier(snapshotPid);
    if (application != nullptr && !application->isHidden()) {
        application->hide();
    }
}

// At a press: the active application, which the snapshot notes.
[[gnu::noinline]] void pressFloor() {
    NSAutoreleasePool pool;
    benchmark::DoNotOptimize(NSWorkspace::sharedWorkspace()->activeApplication());
}

[[gnu::noinline]] void callback(World& world, CGEventType type, CGEventRef event) {
    benchmark::DoNotOptimize(MyPassiveEventTapCallBack(nullptr, type, event, world.delegate.get()));
}

// The callback and the floor, alternately on the same event, each timed on its own; the
// counters give the time of each and how many times the floor the callback costs.
template <class Floor>
void measureAgainstFloor(benchmark::State& state, World& world, CGEventType type, CGPoint at,
                         Floor floor, bool undoEachHide) {
    using Clock = std::chrono::steady_clock;
    RetainPtr<CGEventRef> event = World::event(type, at, 1);
    Clock::duration callbackTime{};
    Clock::duration floorTime{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        callback(world, type, event.get());
        const Clock::time_point middle = Clock::now();
        if (undoEachHide) {
            world.restore();
        }
        const Clock::time_point floorStart = Clock::now();
        floor(event.get());
        const Clock::time_point end = Clock::now();
        if (undoEachHide) {
            world.restore();
        }
        callbackTime += middle - start;
        floorTime += end - floorStart;
    }
    const auto nanoseconds = [&](Clock::duration total) {
        return std::chrono::duration<double, std::nano>(total).count() /
               static_cast<double>(state.iterations());
    };
    state.counters["callback_ns"] = nanoseconds(callbackTime);
    state.counters["floor_ns"] = nanoseconds(floorTime);
    state.counters["ratio"] = nanoseconds(callbackTime) / nanoseconds(floorTime);
}

void BM_HidingReleaseAgainstFloor(benchmark::State& state) {
    World world;
    world.pressOnSafari();
    measureAgainstFloor(
        state, world, kCGEventLeftMouseUp, world.safariItem,
        [&](CGEventRef event) { hidingReleaseFloor(event, world.safari); }, true);
}
// A fixed number of iterations, so that instruction counts under callgrind repeat exactly.
BENCHMARK(BM_HidingReleaseAgainstFloor)->Iterations(20'000);

void BM_PressAgainstFloor(benchmark::State& state) {
    World world;
    measureAgainstFloor(
        state, world, kCGEventLeftMouseDown, world.safariItem, [](CGEventRef) { pressFloor(); },
        false);
}
BENCHMARK(BM_PressAgainstFloor)->Iterations(20'000);

long residentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

// A million events of every kind through the whole road (taps, Dock, hide requests), in a
// repeating mix. Reports the live objects and resident memory after the first tenth and at
// the end: flat memory shows as equal numbers.
void BM_MillionMixedEvents(benchmark::State& state) {
    World world;
    frameworks::EventSystem& input = frameworks::eventSystem();
    long objectsAtTenth = 0;
    long residentAtTenth = 0;
    std::int64_t index = 0;
    for (auto _ : state) {
        switch (index % 8) {
            case 0:
                input.pressLeft(world.safariItem.x, world.safariItem.y);
                break;
            case 1:
                input.releaseLeft(world.safariItem.x, world.safariItem.y, 1);
                break;  // hides Safari
            case 2:
                input.pressLeft(world.safariItem.x, world.safariItem.y);
                break;
            case 3:
                input.releaseLeft(world.safariItem.x, world.safariItem.y, 2);
                break;  // shows it
            case 4:
                input.pressLeft(world.windowPoint.x, world.windowPoint.y);
                break;
            case 5:
                input.releaseLeft(world.windowPoint.x, world.windowPoint.y, 1);
                break;
            case 6:
                input.pressLeft(world.notesItem.x, world.notesItem.y);
                break;
            case 7:
                input.releaseLeft(world.notesItem.x, world.notesItem.y, 1);  // Notes becomes active
                desktop().activate(world.safari);
                sim::clearTranscript();
                break;
        }
        if (++index == state.max_iterations / 10) {
            objectsAtTenth = NSObjectLiveCount();
            residentAtTenth = residentKilobytes();
        }
    }
    state.counters["live_objects_at_10pct"] = static_cast<double>(objectsAtTenth);
    state.counters["live_objects_at_end"] = static_cast<double>(NSObjectLiveCount());
    state.counters["rss_kb_at_10pct"] = static_cast<double>(residentAtTenth);
    state.counters["rss_kb_at_end"] = static_cast<double>(residentKilobytes());
    state.counters["hide_requests"] = static_cast<double>(desktop().hideRequestCount());
}
BENCHMARK(BM_MillionMixedEvents)->Iterations(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
