// The fault sweep: three journeys, each run once for every occurrence of every platform call
// that can fail along it: failing that occurrence alone, and failing it and every later call of
// the same name. The system's standard lifecycle from an empty home (launch, clicks on Dock
// items, every preference changed, the login item on and off, the tap switched off, reopening,
// quitting); the toolkit as a client drives it; launch and login-item registration beside
// another tool's preference and login items. Every run must meet its fault, end without a
// crash, leave no object alive, leave stored files that read and hold only what was written
// (another tool's values kept, nothing readable set aside), and never show a switch as set that
// the file refused. The calls and their occurrences come from a clean run, so a call the system
// starts to make is swept without a change here; a call whose answer cannot carry a failure is
// listed apart, never failed.
#include <RetainPtr.h>
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
#include "Foundation/NSUserDefaultsInternal.h"
#include "HomeFolderTest.h"
#include "SystemTest.h"
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

// The system-wide element lives as long as the process; each run makes it afresh, so that its
// creation is swept too. Put back once the run is over, as the fixture expects it.
void forgetSystemWideElement() {
    if (_systemWideElement != nullptr) {
        CFRelease(_systemWideElement);
        _systemWideElement = nullptr;
    }
}

// What the switch for `key` must show: the preferences file's value, or the registered default
// when the file holds none, read past the session's failable calls.
bool storedOrRegistered(const std::string& key) {
    std::ifstream file(preferencesFolder() + "/org.quenfold.Quenfold.plist", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    std::string error;
    const RetainPtr<CFTypeRef> root = frameworks::propertyListFromBytes(bytes, &error);
    const auto* values = dynamic_objc_cast<NSDictionary>(root.get());
    NSAutoreleasePool pool;
    const NSString* name = NSString::stringWithUTF8String(key.c_str());
    CFTypeRef value = values != nullptr ? values->objectForKey(name) : nullptr;
    if (value == nullptr) {
        value = NSUserDefaults::standardUserDefaults()
                    ->volatileDomainForName(NSRegistrationDomain)
                    ->objectForKey(name);
    }
    return frameworks::userDefaultsBool(value);
}

// The user sets a switch of the settings window: one the file refused does not show the new
// value. (The system itself sets LaunchAutomaticallyOnLogin to what the login-item list holds.)
std::string setSwitch(const std::string& key, bool on) {
    turn([&] { sim::setSettingsControl(key, on); });
    const std::optional<bool> shown = sim::settingsControlState(key);
    return shown && key != "LaunchAutomaticallyOnLogin" && *shown != storedOrRegistered(key)
               ? "the switch for " + key + " does not show what is stored\n"
               : "";
}

// The lifecycle on a fresh session. Steps that a fault made impossible (no settings window to
// use, a launch refused) pass over what they cannot do, as the user would.
std::string playLifecycle() {
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
    std::string problems;
    for (const auto& [key, on] :
         std::vector<std::pair<std::string, bool>>{{"ShowSettingsOnLaunch", false},
                                                   {"HideDockIcon", true},
                                                   {"HideDockIcon", false},
                                                   {"LaunchAutomaticallyOnLogin", true},
                                                   {"LaunchAutomaticallyOnLogin", false},
                                                   {"LaunchAutomaticallyOnLogin", true},
                                                   {"ShowSettingsOnLaunch", true}}) {
        problems += setSwitch(key, on);
    }
    turn([] { sim::pressSettingsAction("openUniversalAccessPref:"); });
    turn([] { sim::closeSettingsWindow(); });
    turn([] { frameworks::reopenSystem(); });
    turn([] { frameworks::eventSystem().disableTaps(kCGEventTapDisabledByTimeout); });
    turn([] { frameworks::eventSystem().disableTaps(kCGEventTapDisabledByUserInput); });
    waitSeconds(0.5);  // the tap is put back after a user-input switch-off
    clickDockItem("Notes");
    turn([] { frameworks::terminateSystem(); });
    return problems;
}

// The toolkit as a client drives it beyond the lifecycle: hit-testing, attribute reads, both
// names of an element's application, a window found by its title and raised, activation, an
// action, a value made and described, a synthetic click. Activation answers success exactly
// when the application came to the front; what else went wrong is returned.
std::string playToolkit() {
    sim::ApplicationSpec mail;
    mail.name = "Mail";
    const pid_t mailPid = desktop().addApplication(mail);
    const sim::NodeId inbox = desktop().addWindow(mailPid, "Inbox");
    sim::ElementSpec send;
    send.role = "AXButton";
    send.title = "Send";
    send.frame = sim::Rect{300, 200, 80, 30};
    send.actions = {"AXPress"};
    desktop().addElement(inbox, send);
    sim::ApplicationSpec notes;
    notes.name = "Notes";
    desktop().activate(desktop().addApplication(notes));

    std::string problems;
    RetainPtr<AXUIElementRef> button;
    RetainPtr<AXUIElementRef> window;
    std::int32_t activation = 0;
    turn([&] {
        button = adoptCF(copyUIElementAtXY(340, 215));
        window = adoptCF(copyApplicationWindowWithName(mailPid, CFSTR("Inbox")));
        const RetainPtr<CFTypeRef> title =
            adoptCF(copyValueOfExistingAttribute(kAXTitleAttribute, button.get()));
        const RetainPtr<CFStringRef> name = adoptCF(copyApplicationNameOfUIElement(button.get()));
        const RetainPtr<CFStringRef> fileName =
            adoptCF(copyEnglishApplicationNameOfUIElement(button.get()));
        lineageDescriptionOfUIElement(button.get());
        const CGPoint where{340, 215};
        const RetainPtr<AXValueRef> position = adoptCF(AXValueCreate(kAXValueCGPointType, &where));
        descriptionOfValue(position.get(), true);
        activation = activateUIElementProcess(button.get());
    });
    if ((activation == 0) != (desktop().activePid() == mailPid)) {
        problems += "activation answered " + std::to_string(activation) + " and Mail is " +
                    (desktop().activePid() == mailPid ? "" : "not ") + "active\n";
    }
    turn([&] {
        performAction(button.get(), kAXPressAction);
        bringAXWindowToFront(window.get());
        const RetainPtr<AXUIElementRef> front =
            adoptCF(copyActiveApplicatoinsActiveWindowUIElement());
    });
    turn([] { mouseClick(340, 215, CFSTR("left"), 1, nullptr, 0.05F); });
    return problems;
}

// Another tool's preference and login items (one on a volume that is not mounted), there
// before the system is launched.
const std::vector<std::string> kOtherLoginItems{"/Applications/Mail.app",
                                                "/Volumes/Backup/Tool.app (unresolvable)"};

void addAnotherToolsFiles() {
    std::filesystem::create_directories(preferencesFolder());
    std::ofstream(preferencesFolder() + "/org.quenfold.Quenfold.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Mine</key>"
           "<string>kept</string></dict></plist>";
    std::string error;
    sim::appendLoginItem({.path = "/Applications/Mail.app"}, &error);
    sim::appendLoginItem({.path = "/Volumes/Backup/Tool.app", .resolvable = false}, &error);
}

std::string playBesideAnotherTool() {
    turn([] { frameworks::launchSystem(nullptr); });
    std::string problems = setSwitch("HideDockIcon", true);
    for (const bool on : {true, false, true}) {
        problems += setSwitch("LaunchAutomaticallyOnLogin", on);
    }
    turn([] { frameworks::terminateSystem(); });
    return problems;
}

// A journey the sweep plays on a fresh session (answering what went wrong), and whether
// another tool's files are there before it.
struct Journey {
    const char* name;
    std::string (*play)();
    bool besideAnotherTool;
};

const std::vector<Journey> kJourneys{{"lifecycle", playLifecycle, false},
                                     {"toolkit", playToolkit, false},
                                     {"beside another tool", playBesideAnotherTool, true}};

// What is wrong with the stored files of the home folder, or empty.
std::string storedFileProblems(bool besideAnotherTool) {
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

    bool anotherToolsKeyKept = false;
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
            anotherToolsKeyKept = CFEqual(values->objectForKey(CFSTR("Mine")), CFSTR("kept"));
            for (id key : *values->allKeys()) {
                const auto* name = dynamic_objc_cast<NSString>(key);
                const bool ours = name != nullptr && kPreferenceKeys.count(name->utf8()) != 0 &&
                                  values->objectForKey(key)->typeID() == kCFBooleanTypeID;
                if (!ours && !(besideAnotherTool && name != nullptr && name->utf8() == "Mine")) {
                    problems += "the preferences file holds what was never written: " +
                                (name ? name->utf8() : std::string("a key that is no string")) +
                                "\n";
                }
            }
        }
    }

    if (besideAnotherTool && !anotherToolsKeyKept) {
        problems += "another tool's key was lost\n";
    }

    const frameworks::PropertyListFile loginItems =
        frameworks::readPropertyListFile(folder + "/com.apple.loginitems.plist");
    if (loginItems.status == frameworks::PropertyListFile::Status::Unreadable) {
        problems += "the login-item list does not read: " + loginItems.error + "\n";
    }
    // Only the system's own bundle is ever added. It may be there twice: a list that could not
    // be looked at, or entries that could not be resolved, hide the entry there is. The entries
    // of others stay as they were.
    std::vector<std::string> others;
    for (const sim::LoginItemEntry& entry : sim::loginItems()) {
        if (entry.path != sim::mainBundlePath() || !entry.resolvable) {
            others.push_back(entry.path + (entry.resolvable ? "" : " (unresolvable)"));
        }
    }
    if (others != (besideAnotherTool ? kOtherLoginItems : std::vector<std::string>())) {
        problems += "the login-item list's other entries changed\n";
    }
    return problems;
}

// What one run of a journey under a fault came to.
struct RunOutcome {
    bool fired = false;     // the fault was met
    bool survived = false;  // nothing wrong afterwards: no problem, nothing left alive
};

class FaultSweep : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        processObjects_ = NSObjectLiveCount();
    }

    // One run of `journey` with `fault` armed; a failure names the fault.
    RunOutcome sweepRun(const Journey& journey, const sim::Fault& fault) {
        SCOPED_TRACE(std::string(journey.name) + ": " + fault.call + " failing from occurrence " +
                     std::to_string(fault.after + 1) + (fault.count == 1 ? " once" : " on"));
        RunOutcome outcome;
        std::string problems;
        pool_.reset();
        sim::reset();
        makeProcessState();
        pool_.emplace();
        {
            const RunHome home;
            forgetSystemWideElement();
            if (journey.besideAnotherTool) {
                addAnotherToolsFiles();
            }
            sim::injectFault(fault);
            const std::size_t fired = sim::faultsFired();
            problems = journey.play();
            outcome.fired = sim::faultsFired() > fired;
            sim::clearFaults();  // the files are read as the next run of the system would
            problems += storedFileProblems(journey.besideAnotherTool);
        }
        pool_.reset();
        sim::reset();
        makeProcessState();
        const long leftAlive = NSObjectLiveCount() - processObjects_;
        pool_.emplace();
        EXPECT_TRUE(outcome.fired) << "the fault was never met";
        EXPECT_EQ(problems, "");
        EXPECT_EQ(leftAlive, 0) << "objects of the model were left alive";
        outcome.survived = problems.empty() && leftAlive == 0;
        return outcome;
    }

private:
    long processObjects_ = 0;  // what the process itself keeps alive
};

// The calls a clean run of a journey makes, and how often each is made.
struct JourneyCalls {
    std::map<std::string, std::size_t> failable;
    // Calls whose answer cannot carry a failure (a sleep, an event's location): counted, never
    // failed.
    std::map<std::string, std::size_t> ignoredByDesign;
};

const JourneyCalls& callsAlong(const Journey& journey) {
    static std::map<const Journey*, JourneyCalls> found;
    if (const auto known = found.find(&journey); known != found.end()) {
        return known->second;
    }
    JourneyCalls calls;
    sim::reset();
    {
        const RunHome home;
        forgetSystemWideElement();
        NSAutoreleasePool pool;
        if (journey.besideAnotherTool) {
            addAnotherToolsFiles();
        }
        sim::resetCallCounts();
        EXPECT_EQ(journey.play(), "") << journey.name;
        for (const auto& [call, count] : sim::callCounts()) {
            (sim::canFail(call) ? calls.failable : calls.ignoredByDesign).emplace(call, count);
        }
        EXPECT_EQ(storedFileProblems(journey.besideAnotherTool), "") << journey.name;
    }
    sim::reset();
    set_systemWideElement();
    return found.emplace(&journey, std::move(calls)).first->second;
}

// A clean run of each journey reaches every part of it, so that the sweep has something to
// fail; what each journey offers the sweep is printed.
TEST_F(FaultSweep, CleanJourneysReachEveryPart) {
    const std::map<std::string, std::vector<std::string>> expected{
        {"lifecycle",
         {"CGEventTapCreate", "AXUIElementCopyMultipleAttributeValues", "hide",
          "TransformProcessType", "GetIconRefFromFileInfo", "openURL", "mkdir"}},
        {"toolkit",
         {"AXUIElementCopyAttributeValue", "AXUIElementPerformAction", "AXValueCreate",
          "SetFrontProcess", "SetFrontProcessWithOptions", "CGEventPost"}},
        {"beside another tool",
         {"LSSharedFileListItemResolve", "LSSharedFileListInsertItemURL",
          "LSSharedFileListItemRemove", "open", "read", "write", "fsync", "rename", "flock"}}};
    for (const Journey& journey : kJourneys) {
        const JourneyCalls& calls = callsAlong(journey);
        for (const std::string& call : expected.at(journey.name)) {
            EXPECT_EQ(calls.failable.count(call), 1u)
                << call << " is not made along the " << journey.name;
        }
        const auto points = [](const std::map<std::string, std::size_t>& calls) {
            std::size_t total = 0;
            for (const auto& [call, occurrences] : calls) {
                total += occurrences;
            }
            return total;
        };
        std::cout << "fault sweep, " << journey.name << ": " << calls.failable.size()
                  << " failable calls at " << points(calls.failable) << " points; "
                  << calls.ignoredByDesign.size() << " calls at " << points(calls.ignoredByDesign)
                  << " points ignored by design:";
        for (const auto& [call, occurrences] : calls.ignoredByDesign) {
            std::cout << " " << call << " (" << occurrences << ")";
        }
        std::cout << "\n";
    }
}

// The journeys' calls are dealt out to a few ctest cases, so that they run side by side. Each
// point (an occurrence of a call) is failed alone, and from then on.
constexpr int kShards = 4;

class FaultSweepShard : public FaultSweep, public ::testing::WithParamInterface<int> {};

TEST_P(FaultSweepShard, EveryOccurrenceFailedOnceAndFromThenOn) {
    int index = 0;
    std::size_t points = 0;
    std::size_t injected = 0;
    std::size_t fired = 0;
    std::size_t survived = 0;
    for (const Journey& journey : kJourneys) {
        for (const auto& [call, occurrences] : callsAlong(journey).failable) {
            if (index++ % kShards != GetParam()) {
                continue;
            }
            points += occurrences;
            for (std::size_t occurrence = 0; occurrence < occurrences; ++occurrence) {
                for (const int count : {1, -1}) {
                    const RunOutcome outcome = sweepRun(
                        journey,
                        {.call = call, .count = count, .after = static_cast<int>(occurrence)});
                    ++injected;
                    fired += outcome.fired ? 1 : 0;
                    survived += outcome.survived ? 1 : 0;
                }
                if (HasFatalFailure()) {
                    return;
                }
            }
        }
    }
    std::cout << "fault sweep, shard " << GetParam() << ": " << points << " points, " << injected
              << " injected, " << fired << " fired, " << survived << " survived\n";
}

INSTANTIATE_TEST_SUITE_P(Lifecycle, FaultSweepShard, ::testing::Range(0, kShards));

}  // namespace
