// The fault sweep: the system's standard lifecycle (launch, clicks on Dock items, every
// preference changed, the login item on and off, the tap switched off, reopening, quitting),
// run once for every occurrence of every platform call that can fail along it: failing that
// occurrence alone, and failing it and every later call of the same name. Every run must meet
// its fault, end without a crash, leave no object alive, and leave stored files that read and
// hold only what the lifecycle wrote. The calls and their occurrences come from a clean run, so a
// call the system starts to make is swept without a change here. Each run launches the system's
// image afresh, as the program does, so what the system makes once a process (the system-wide
// element) is swept too, and what a process kept goes with it.
#include <TypeCastsCocoa.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ApplicationServices/EventSystemInternal.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/StoredPropertyListInternal.h"
#include "HomeFolderTest.h"
#include "SessionTest.h"
#include "control/SystemProcess.h"
#include "sim/Clock.h"
#include "sim/Faults.h"

namespace {

using sim::desktop;

const std::set<std::string> kPreferenceKeys{"LaunchAutomaticallyOnLogin", "ShowSettingsOnLaunch",
                                            "HideDockIcon"};

// One step of the lifecycle, as one turn of the event loop with its own pool, then the session
// settles.
template <class Step>
void turn(Step step) {
    {
        NSAutoreleasePool pool;
        step();
    }
    sim::settle();
}

void clickDockItem(const std::string& title, SInt64 clickState = 1) {
    const std::optional<sim::NodeId> item = desktop().dockItemTitled(title);
    if (!item) {
        return;
    }
    const sim::Rect frame = *desktop().node(*item)->frame;
    turn([&] { frameworks::eventSystem().pressLeft(frame.midX(), frame.midY()); });
    turn([&] { frameworks::eventSystem().releaseLeft(frame.midX(), frame.midY(), clickState); });
}

void waitSeconds(double seconds) {
    const double target = sim::clockNow() + seconds;
    while (sim::clockNow() < target &&
           CFRunLoopRunInMode(kCFRunLoopDefaultMode, target - sim::clockNow(), false) ==
               kCFRunLoopRunHandledSource) {
    }
    sim::advanceClockTo(target);
    sim::settle();
}

// A home folder of its own for one run. Stored files are flushed to the disk at every write;
// on a memory file system, where there is one, hundreds of runs cost no disk flushes.
struct RunHome {
    RunHome() { sim::setHomeFolder(folder.path()); }
    TemporaryFolder folder{std::filesystem::is_directory("/dev/shm")
                               ? std::filesystem::path("/dev/shm")
                               : std::filesystem::temp_directory_path()};
};

// The lifecycle on a fresh session. Steps that a fault made impossible (no settings window to
// use, a launch refused) pass over what they cannot do, as the user would.
void playLifecycle() {
    sim::ApplicationSpec safari;
    safari.name = "Safari";
    const pid_t safariPid = desktop().addApplication(safari);
    desktop().addWindow(safariPid, "Start");
    sim::ApplicationSpec notes;
    notes.name = "Notes";
    desktop().addApplication(notes);

    turn([] { frameworks::launchSystem(nullptr); });
    clickDockItem("Safari");  // the Dock activates Safari (the settings window was in front)
    clickDockItem("Safari");  // hides Safari, the active application
    clickDockItem("Safari");  // the Dock shows it again
    clickDockItem("Safari", 2);
    clickDockItem("Notes");
    for (const auto& setting :
         std::vector<std::pair<std::string, bool>>{{"ShowSettingsOnLaunch", false},
                                                   {"HideDockIcon", true},
                                                   {"HideDockIcon", false},
                                                   {"LaunchAutomaticallyOnLogin", true},
                                                   {"LaunchAutomaticallyOnLogin", false},
                                                   {"LaunchAutomaticallyOnLogin", true},
                                                   {"ShowSettingsOnLaunch", true}}) {
        turn([&] { sim::setSettingsControl(setting.first, setting.second); });
    }
    turn([] { sim::pressSettingsAction("openUniversalAccessPref:"); });
    turn([] { sim::closeSettingsWindow(); });
    turn([] { frameworks::reopenSystem(); });
    turn([] { frameworks::eventSystem().disableTaps(kCGEventTapDisabledByTimeout); });
    turn([] { frameworks::eventSystem().disableTaps(kCGEventTapDisabledByUserInput); });
    waitSeconds(0.5);  // the tap is put back after a user-input switch-off
    clickDockItem("Notes");
    turn([] { frameworks::terminateSystem(); });
}

// What is wrong with the stored files of the home folder, or empty.
std::string storedFileProblems() {
    std::string problems;
    for (const frameworks::SetAsideFile& file : frameworks::setAsideFiles()) {
        problems += file.path + " was set aside as unreadable: " + file.reason + "\n";
    }
    const std::string folder = preferencesFolder();
    // Each stored file and the lock file writers take beside it; nothing else.
    const std::set<std::string> expected{
        "org.quenfold.Quenfold.plist", ".org.quenfold.Quenfold.plist.lock",
        "com.apple.loginitems.plist", ".com.apple.loginitems.plist.lock"};
    for (const std::string& name : filesIn(folder)) {
        if (expected.count(name) == 0) {
            problems += "a stray file in the preferences folder: " + name + "\n";
        }
    }

    const frameworks::PropertyListFile preferences =
        frameworks::readPropertyListFile(folder + "/org.quenfold.Quenfold.plist");
    if (preferences.status == frameworks::PropertyListFile::Status::Unreadable) {
        problems += "the preferences file does not read: " + preferences.error + "\n";
    } else if (preferences.status == frameworks::PropertyListFile::Status::Read) {
        const auto* values = dynamic_objc_cast<NSDictionary>(preferences.root.get());
        if (values == nullptr) {
            problems += "the preferences file holds no dictionary\n";
        } else {
            NSAutoreleasePool pool;
            for (id key : *values->allKeys()) {
                const auto* name = dynamic_objc_cast<NSString>(key);
                if (name == nullptr || kPreferenceKeys.count(name->utf8()) == 0 ||
                    values->objectForKey(key)->typeID() != kCFBooleanTypeID) {
                    problems += "the preferences file holds what was never written: " +
                                (name ? name->utf8() : std::string("a key that is no string")) +
                                "\n";
                }
            }
        }
    }

    const frameworks::PropertyListFile loginItems =
        frameworks::readPropertyListFile(folder + "/com.apple.loginitems.plist");
    if (loginItems.status == frameworks::PropertyListFile::Status::Unreadable) {
        problems += "the login-item list does not read: " + loginItems.error + "\n";
    } else if (loginItems.status == frameworks::PropertyListFile::Status::Read) {
        // Only the system's own bundle is ever added. It may be there twice: a list that could
        // not be looked at, or entries that could not be resolved, hide the entry there is.
        for (const sim::LoginItemEntry& entry : sim::loginItems()) {
            if (entry.path != sim::mainBundlePath() || !entry.resolvable) {
                problems +=
                    "the login-item list holds an entry that was never added: " + entry.path + "\n";
            }
        }
    }
    return problems;
}

const std::string kImage = std::string(QUENFOLD_BUNDLE_PATH) + "/Contents/MacOS/QuenfoldSystem.so";

class FaultSweep : public SessionTest {
protected:
    void SetUp() override {
        frameworks::setSystemImagePath(kImage);
        SessionTest::SetUp();
        processObjects_ = NSObjectLiveCount();
    }
    void TearDown() override {
        SessionTest::TearDown();
        frameworks::setSystemImagePath("");
    }

    // One run of the lifecycle with `fault` armed; a failure names the fault.
    void sweepRun(const sim::Fault& fault) {
        SCOPED_TRACE(fault.call + " failing from occurrence " + std::to_string(fault.after + 1) +
                     (fault.count == 1 ? " once" : " on"));
        pool_.reset();
        sim::reset();
        pool_.emplace();
        {
            const RunHome home;
            sim::injectFault(fault);
            const std::size_t fired = sim::faultsFired();
            playLifecycle();
            EXPECT_GT(sim::faultsFired(), fired) << "the fault was never met";
            EXPECT_EQ(storedFileProblems(), "");
        }
        pool_.reset();
        sim::reset();
        ASSERT_EQ(NSObjectLiveCount(), processObjects_) << "objects of the model were left alive";
        pool_.emplace();
    }

private:
    long processObjects_ = 0;  // what the process itself keeps alive
};

// The calls that can fail along a clean run of the lifecycle, and how often each is made.
std::map<std::string, std::size_t> lifecycleCalls() {
    static const std::map<std::string, std::size_t> calls = [] {
        sim::reset();
        std::map<std::string, std::size_t> found;
        {
            const RunHome home;
            NSAutoreleasePool pool;
            playLifecycle();
            for (const auto& [call, count] : sim::callCounts()) {
                if (sim::canFail(call)) {
                    found.emplace(call, count);
                }
            }
        }
        sim::reset();
        return found;
    }();
    return calls;
}

// A clean run reaches every part of the lifecycle, so that the sweep has something to fail.
TEST_F(FaultSweep, TheCleanLifecycleReachesEveryPart) {
    const RunHome home;
    playLifecycle();
    EXPECT_EQ(storedFileProblems(), "");
    EXPECT_EQ(frameworks::systemState(), frameworks::SystemState::Terminated);
    EXPECT_GE(desktop().hideRequestCount(), 1);
    EXPECT_EQ(sim::loginItems().size(), 1u);
    for (const char* call :
         {"AXUIElementCreateSystemWide", "CGEventTapCreate", "CGEventTapEnable",
          "AXUIElementCopyElementAtPosition", "AXUIElementCopyMultipleAttributeValues", "hide",
          "TransformProcessType", "LSSharedFileListInsertItemURL", "LSSharedFileListItemRemove",
          "GetIconRefFromFileInfo", "ReleaseIconRef", "NSSearchPathForDirectoriesInDomains",
          "openURL"}) {
        EXPECT_EQ(lifecycleCalls().count(call), 1u) << call << " is not made along the lifecycle";
    }
}

// The calls are dealt out to a few ctest cases, so that they run side by side.
constexpr int kShards = 4;

class FaultSweepShard : public FaultSweep, public ::testing::WithParamInterface<int> {};

TEST_P(FaultSweepShard, EveryOccurrenceFailedOnceAndFromThenOn) {
    int index = 0;
    for (const auto& [call, occurrences] : lifecycleCalls()) {
        if (index++ % kShards != GetParam()) {
            continue;
        }
        for (std::size_t occurrence = 0; occurrence < occurrences; ++occurrence) {
            const int after = static_cast<int>(occurrence);
            sweepRun({.call = call, .count = 1, .after = after});
            sweepRun({.call = call, .count = -1, .after = after});
            if (HasFatalFailure()) {
                return;
            }
        }
        std::cout << "fault sweep: " << call << ": " << occurrences << " occurrences, "
                  << 2 * occurrences << " runs\n";
    }
}

INSTANTIATE_TEST_SUITE_P(Lifecycle, FaultSweepShard, ::testing::Range(0, kShards));

// The file-system calls of the stored files, each failed at every occurrence along a launch, a
// preference change and a login-item change (once, and from then on): another tool's key is
// never lost, nothing readable is set aside, and every fault fires. (Its folder is there
// already: "mkdir" is swept with the lifecycle above, which starts from an empty home.)
TEST_F(FaultSweep, FileSystemCallsOfTheStoredFilesLoseNothingAndSetNothingAside) {
    const std::string shared =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Mine</key><string>kept</string>"
        "</dict></plist>";
    const auto play = [&](const sim::Fault* fault) {
        sim::reset();
        const RunHome home;
        std::filesystem::create_directories(preferencesFolder());
        std::ofstream(preferencesFolder() + "/org.quenfold.Quenfold.plist") << shared;
        std::map<std::string, std::size_t> counts;
        std::string problems;
        {
            NSAutoreleasePool pool;
            if (fault != nullptr) {
                sim::injectFault(*fault);
            }
            turn([] { frameworks::launchSystem(nullptr); });
            turn([] { sim::setSettingsControl("HideDockIcon", true); });
            turn([] { sim::setSettingsControl("LaunchAutomaticallyOnLogin", true); });
            turn([] { frameworks::terminateSystem(); });
            sim::clearFaults();
            counts = sim::callCounts();
            for (const frameworks::SetAsideFile& file : frameworks::setAsideFiles()) {
                problems += file.path + " was set aside: " + file.reason + "\n";
            }
            std::ifstream stored(preferencesFolder() + "/org.quenfold.Quenfold.plist");
            const std::string text{std::istreambuf_iterator<char>(stored), {}};
            if (text.find("<key>Mine</key>") == std::string::npos) {
                problems += "another tool's key was lost: " + text + "\n";
            }
        }
        sim::reset();
        return std::pair{counts, problems};
    };
    const auto [clean, cleanProblems] = play(nullptr);
    EXPECT_EQ(cleanProblems, "");
    for (const char* call : {"open", "read", "write", "fsync", "rename", "flock"}) {
        const std::size_t occurrences = clean.count(call) != 0 ? clean.at(call) : 0;
        EXPECT_GT(occurrences, 0u) << call << " is not made along the lifecycle";
        for (std::size_t occurrence = 0; occurrence < occurrences; ++occurrence) {
            for (const int count : {1, -1}) {
                const sim::Fault fault{
                    .call = call, .count = count, .after = static_cast<int>(occurrence)};
                SCOPED_TRACE(std::string(call) + " failing from occurrence " +
                             std::to_string(occurrence + 1) + (count == 1 ? " once" : " on"));
                const std::size_t firedBefore = sim::faultsFired();
                EXPECT_EQ(play(&fault).second, "");
                EXPECT_GT(sim::faultsFired(), firedBefore) << "the fault did not fire";
            }
        }
    }
}

}  // namespace
