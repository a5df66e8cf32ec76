// The cost of the watcher's tap callback per event, the platform calls each kind of event
// makes, the callback against a floor that makes the same platform calls without building the
// click record, and whether memory stays flat over a long mixed stream of events.
//
//   build/bench/watcher_benchmark
//   build/bench/watcher_benchmark --benchmark_filter=AgainstFloor
// For repeatable figures, count instructions (a hiding release, callback against floor):
//   bench/watcher-instructions
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <string>

#include <TypeCastsCF.h>
#include <UIElement/UIElement.h>

#include "ApplicationServices/EventSystemInternal.h"
#include "QuenfoldAppDelegate.h"
#include "WorkspaceValues.h"
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

// Every platform call that a single-click release on the Dock item of the application noted at
// the press makes on its way to the hide request, in the order the callback makes them, without
// building the click record (no numbers, no modifier names, no array of eighteen): the event's
// click state and location; the toolkit's hit test (the Dock's running application, its process,
// its application element, the element under the point); the owner of that element (its
// process, running application, name, bundle path reduced to the file name, process
// identifier); the element's AXRole, AXSubrole, AXTitle and AXURL in one request, each read as
// the record reads it; the flags, the two JIS key states and eight button states; the active
// application with its three lookups and its file name; then the rule's tests (subrole, owner is
// the Dock, the application noted at the press not hidden, title is its name) and the hide. The
// pools stand for the callback's and the hit test's.
[[gnu::noinline]] void hidingReleaseFloor(CGEventRef event) {
    NSAutoreleasePool pool;
    if (CGEventGetIntegerValueField(event, kCGMouseEventClickState) != 1) {
        return;
    }
    const CGPoint at = CGEventGetLocation(event);
    RetainPtr<AXUIElementRef> element;
    {
        NSAutoreleasePool hitTestPool;
        NSArray* docks =
            NSRunningApplication::runningApplicationsWithBundleIdentifier(CFSTR("com.apple.dock"));
        if (docks->count() == 0) {
            return;
        }
        const pid_t dock =
            static_cast<NSRunningApplication*>(docks->objectAtIndex(0))->processIdentifier();
        if (dock == -1 || !adoptCF(AXUIElementCreateApplication(dock)) ||
            AXUIElementCopyElementAtPosition(_systemWideElement, static_cast<float>(at.x),
                                             static_cast<float>(at.y),
                                             element.initializeInto()) != kAXErrorSuccess) {
            return;
        }
    }
    pid_t ownerPid = 0;
    NSString* ownerFile = nullptr;
    if (AXUIElementGetPid(element.get(), &ownerPid) == kAXErrorSuccess) {
        if (NSRunningApplication* owner =
                NSRunningApplication::runningApplicationWithProcessIdentifier(ownerPid)) {
            NSURL* bundleURL = owner->bundleURL();
            benchmark::DoNotOptimize(owner->localizedName());
            ownerFile = fileNameOfPath(bundleURL ? bundleURL->relativePath() : nullptr);
            benchmark::DoNotOptimize(owner->processIdentifier());
        }
    }
    static const NSArray* const names = [] {
        NSMutableArray* made = NSMutableArray::create();
        for (CFStringRef name :
             {CFSTR("AXRole"), CFSTR("AXSubrole"), CFSTR("AXTitle"), CFSTR("AXURL")}) {
            made->addObject(name);
        }
        return made;
    }();
    RetainPtr<CFArrayRef> values;
    if (AXUIElementCopyMultipleAttributeValues(element.get(), names, 0, values.initializeInto()) !=
            kAXErrorSuccess ||
        values->count() != 4) {
        return;
    }
    benchmark::DoNotOptimize(AXValueGetType(dynamic_cf_cast<AXValueRef>(values->objectAtIndex(0))));
    const NSString* subrole = dynamic_objc_cast<NSString>(values->objectAtIndex(1));
    const NSString* title = dynamic_objc_cast<NSString>(values->objectAtIndex(2));
    benchmark::DoNotOptimize(dynamic_objc_cast<NSString>(values->objectAtIndex(3)));
    element.clear();

    benchmark::DoNotOptimize(CGEventGetFlags(event));
    for (CGKeyCode key : {CGKeyCode{0x66}, CGKeyCode{0x68}}) {
        benchmark::DoNotOptimize(
            CGEventSourceKeyState(kCGEventSourceStateCombinedSessionState, key));
    }
    for (CGMouseButton button = 0; button < 8; ++button) {
        benchmark::DoNotOptimize(
            CGEventSourceButtonState(kCGEventSourceStateHIDSystemState, button));
    }
    if (NSDictionary* active = NSWorkspace::sharedWorkspace()->activeApplication()) {
        benchmark::DoNotOptimize(active->objectForKey(CFSTR("NSApplicationName")));
        NSString* path =
            dynamic_objc_cast<NSString>(active->objectForKey(CFSTR("NSApplicationPath")));
        benchmark::DoNotOptimize(active->objectForKey(CFSTR("NSApplicationProcessIdentifier")));
        benchmark::DoNotOptimize(fileNameOfPath(path));
    }

    if (subrole == nullptr || !subrole->isEqualToString(CFSTR("AXApplicationDockItem")) ||
        ownerFile == nullptr || !ownerFile->isEqualToString(CFSTR("Dock")) ||
        gLeftMouseDownPid == nullptr) {
        return;
    }
    NSRunningApplication* application =
        NSRunningApplication::runningApplicationWithProcessIdentifier(
            gLeftMouseDownPid->intValue());
    if (application == nullptr || application->isHidden() || title == nullptr ||
        gLeftMouseDownAppName == nullptr || !title->isEqualToString(gLeftMouseDownAppName)) {
        return;
    }
    application->hide();
}

// At a press: the active application and the three values the snapshot notes, the path
// reduced to its file name; the floor keeps none of them.
[[gnu::noinline]] void pressFloor() {
    NSAutoreleasePool pool;
    NSDictionary* active = NSWorkspace::sharedWorkspace()->activeApplication();
    if (active == nullptr) {
        return;
    }
    benchmark::DoNotOptimize(fileNameOfPath(
        dynamic_objc_cast<NSString>(active->objectForKey(CFSTR("NSApplicationPath")))));
    benchmark::DoNotOptimize(active->objectForKey(CFSTR("NSApplicationName")));
    benchmark::DoNotOptimize(active->objectForKey(CFSTR("NSApplicationProcessIdentifier")));
}

[[gnu::noinline]] void callback(World& world, CGEventType type, CGEventRef event) {
    benchmark::DoNotOptimize(MyPassiveEventTapCallBack(nullptr, type, event, world.delegate.get()));
}

// The CPU time of the calling thread: on a machine shared with other work, wall-clock time
// counts the waits of a preempted thread, which fall on the callback and the floor unevenly.
struct ThreadCPUClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ThreadCPUClock>;
    static constexpr bool is_steady = true;
    static time_point now() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
    }
};

// The callback and the floor, alternately on the same event, each timed on its own; the
// counters give the CPU time of each and how many times the floor the callback costs.
template <class Floor>
void measureAgainstFloor(benchmark::State& state, World& world, CGEventType type, CGPoint at,
                         Floor floor, bool undoEachHide) {
    using Clock = ThreadCPUClock;
    RetainPtr<CGEventRef> event = World::event(type, at, 1);
    // A floor is one only while it makes the very platform calls the callback makes.
    const auto callsOf = [&](auto run) {
        sim::resetCallCounts();
        run();
        std::map<std::string, std::size_t> calls = sim::callCounts();
        if (undoEachHide) {
            world.restore();
        }
        return calls;
    };
    if (callsOf([&] { callback(world, type, event.get()); }) !=
        callsOf([&] { floor(event.get()); })) {
        state.SkipWithError("the floor's platform calls differ from the callback's");
        return;
    }
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
        [](CGEventRef event) { hidingReleaseFloor(event); }, true);
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
