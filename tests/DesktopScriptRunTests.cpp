// Running desktop scripts: the exit statuses and their messages, where the script comes from,
// what the runner leaves alone in the home folder, the user's hand as the event taps see it,
// the clock, and the story on standard output.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "QuenfoldAppDelegate.h"
#include "SessionTest.h"
#include "sim/Clock.h"
#include "sim/DesktopScript.h"
#include "sim/DesktopScriptRunner.h"
#include "sim/DesktopScriptValidator.h"
#include "sim/DesktopSession.h"
#include "sim/EventSystem.h"
#include "sim/ProcessArguments.h"
#include "sim/SystemProcess.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;
    std::string story;
    std::string errors;
};

// A folder of its own for one test, removed afterwards.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "quenfold-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string write(const std::string& name, const std::string& contents) const {
        const fs::path file = fs::path(path_) / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << contents;
        return file.string();
    }

private:
    std::string path_;
};

// Every file under a folder, with its bytes.
std::map<std::string, std::string> filesUnder(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            std::ifstream file(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << file.rdbuf();
            files[fs::relative(entry.path(), folder).string()] = bytes.str();
        }
    }
    return files;
}

class DesktopScriptRun : public SessionTest {
protected:
    void TearDown() override {
        sim::setProcessArguments(0, nullptr);
        SessionTest::TearDown();
    }

    // The program with these arguments, standard input holding `input`.
    static RunResult runProgram(std::vector<std::string> arguments, const std::string& input = "") {
        arguments.insert(arguments.begin(), "Quenfold");
        std::vector<const char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(argument.c_str());
        }
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        RunResult result;
        result.status =
            sim::runDesktopSession(static_cast<int>(argv.size()), argv.data(), in, out, err);
        result.story = out.str();
        result.errors = err.str();
        return result;
    }

    // The script from standard input, with a home folder of its own when one is given.
    static RunResult runScript(const std::string& text, const std::string& home = "") {
        std::vector<std::string> arguments{"-SimulatedDesktop", "-"};
        if (!home.empty()) {
            arguments.insert(arguments.end(), {"-SimulatedHome", home});
        }
        return runProgram(arguments, text);
    }

    // The script on the session as the test has built it, without a fresh session.
    static RunResult runHere(const std::string& text) {
        sim::script::ParsedScript parsed = sim::script::parseDesktopScript("here.desk", text);
        EXPECT_FALSE(parsed.error);
        EXPECT_FALSE(sim::script::validateDesktopScript(parsed.script, "Quenfold"));
        std::ostringstream out;
        std::ostringstream err;
        RunResult result;
        result.status = sim::script::runDesktopScript(parsed.script, out, err);
        result.story = out.str();
        result.errors = err.str();
        return result;
    }
};

// --- Exit statuses and their messages

TEST_F(DesktopScriptRun, AScriptThatRunsToItsEndExitsWith0) {
    const RunResult result = runScript("app Safari\nclick dock:Safari\nexpect visible Safari\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
}

TEST_F(DesktopScriptRun, AFailedExpectationExitsWith1AndStopsTheRun) {
    const RunResult result = runScript("app Safari\n# a comment\nexpect hidden Safari\napp Mail\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.errors, "-:3: expected Safari hidden, found it visible\n");
    EXPECT_FALSE(sim::desktop().pidNamed("Mail")) << "the run went on after the failure";
}

TEST_F(DesktopScriptRun, AMalformedScriptExitsWith2BeforeAnythingRuns) {
    // Something of the session that a run would sweep away.
    sim::ApplicationSpec marker;
    marker.name = "Marker";
    sim::desktop().addApplication(marker);
    const RunResult result = runScript("app Safari\nclick dock:Safari clicks=two\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "-:2: click: clicks= \"two\" is not a whole number from 0\n");
    EXPECT_EQ(result.story, "");
    EXPECT_TRUE(sim::desktop().pidNamed("Marker")) << "the session was changed";
}

TEST_F(DesktopScriptRun, ANameThatDoesNotExistYetExitsWith2BeforeAnythingRuns) {
    const RunResult result = runScript("app Safari\nexpect visible Safari\nhide Mail\napp Mail\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "-:3: no application named \"Mail\" is running here\n");
    EXPECT_EQ(result.story, "");
}

TEST_F(DesktopScriptRun, ATargetThatIsNotThereExitsWith2WhenFound) {
    RunResult result = runScript("app Safari\nexpect visible Safari\nclick dock:Mail\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "-:3: dock:Mail: no Dock item has that title\n");
    EXPECT_NE(result.story.find("= Safari is visible"), std::string::npos);

    result = runScript("app Safari\nquitapp Dock\nclick dock:Safari\n");
    EXPECT_EQ(result.errors, "-:3: dock:Safari: the Dock is not running\n");
    result = runScript("app Safari\nwindow Safari Doc\nclick window:Other\n");
    EXPECT_EQ(result.errors, "-:3: window:Other: no window on screen has that title\n");
    result = runScript("app Safari\nwindow Safari Doc\nhide Safari\nclick window:Doc\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors,
              "-:4: window:Doc: the window is not on screen, its application is "
              "hidden\n");
}

TEST_F(DesktopScriptRun, ASettingsControlWhileTheWindowIsNotOnScreenExitsWith2) {
    const RunResult result = runScript(
        "default ShowSettingsOnLaunch NO\nlaunch\nexpect settings hidden\nsettings set "
        "HideDockIcon on\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "-:4: settings set: the settings window is not on screen\n");
    EXPECT_EQ(sim::systemDefault("HideDockIcon"), false);
}

TEST_F(DesktopScriptRun, AScriptThatCannotBeReadExitsWith2) {
    TemporaryFolder folder;
    RunResult result = runProgram({"-SimulatedDesktop", folder.path() + "/missing.desk"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors,
              folder.path() + "/missing.desk: cannot be read: No such file or directory\n");
    result = runProgram({"-SimulatedDesktop", folder.path()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, folder.path() + ": cannot be read: it is a folder\n");
}

TEST_F(DesktopScriptRun, AKeyWithoutItsValueExitsWith2InsteadOfRunningSomethingElse) {
    RunResult result = runProgram({"-SimulatedDesktop"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "-SimulatedDesktop: a value must follow\n");
    EXPECT_EQ(result.story, "") << "the demo ran instead";
    result = runProgram({"-SimulatedDesktop", "-", "-SimulatedHome"}, "app Safari\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "-SimulatedHome: a value must follow\n");
}

TEST_F(DesktopScriptRun, AHomeFolderThatIsAFileExitsWith2) {
    TemporaryFolder folder;
    const std::string file = folder.write("home", "not a folder");
    const RunResult result = runScript("app Safari\n", file);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, file + ": the home folder is not a folder\n");
}

// --- Where the script comes from

TEST_F(DesktopScriptRun, AFileNamedOnTheCommandLineIsNamedInMessages) {
    TemporaryFolder folder;
    const std::string script = folder.write("mine.desk", "app Safari\nexpect hidden Safari\n");
    const RunResult result = runProgram({"-SimulatedDesktop", script});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.errors, script + ":2: expected Safari hidden, found it visible\n");
}

TEST_F(DesktopScriptRun, WithoutAScriptTheBuiltInDemoRunsAndHolds) {
    const RunResult result = runProgram({});
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.story.find("hide requested for Safari"), std::string::npos);
}

TEST_F(DesktopScriptRun, ArgumentsThatAreNotKeysArePassedOver) {
    const RunResult result =
        runProgram({"stray", "-SimulatedDesktop", "-", "-psn_0_1234"}, "app Safari\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(sim::desktop().pidNamed("Safari"));
}

// --- The home folder

TEST_F(DesktopScriptRun, AMalformedScriptLeavesTheHomeFolderByteForByte) {
    TemporaryFolder home;
    ASSERT_EQ(runScript("default HideDockIcon YES\nloginitem /Applications/Mail.app\nlaunch\n",
                        home.path())
                  .status,
              0);
    const auto before = filesUnder(home.path());
    ASSERT_FALSE(before.empty());
    // Every statement before the bad line would change a stored file.
    const RunResult result = runScript(
        "default HideDockIcon NO\nloginitem self\nlaunch\nsettings set ShowSettingsOnLaunch "
        "off\nfly\n",
        home.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "-:5: unknown statement \"fly\"\n");
    EXPECT_EQ(filesUnder(home.path()), before);
}

TEST_F(DesktopScriptRun, TwoRunsWithOneHomeFolderSeeWhatTheFirstStored) {
    TemporaryFolder home;
    RunResult first = runScript(
        "launch\nsettings set HideDockIcon on\nsettings set LaunchAutomaticallyOnLogin on\n",
        home.path());
    ASSERT_EQ(first.status, 0) << first.errors;
    const RunResult second = runScript(
        "expect default HideDockIcon YES\nexpect loginitem self first\nlaunch\nexpect dockicon "
        "no\nexpect default LaunchAutomaticallyOnLogin YES\n",
        home.path());
    EXPECT_EQ(second.status, 0) << second.errors;
}

TEST_F(DesktopScriptRun, ACorruptPreferencesFileIsKeptAndTheSystemLaunchesWithItsDefaults) {
    TemporaryFolder home;
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>HideDockIcon";
    home.write("Library/Preferences/org.quenfold.Quenfold.plist", garbage);
    const RunResult result = runScript(
        "launch\nexpect settings shown\nexpect dockicon yes\nsettings set HideDockIcon on\n"
        "expect default HideDockIcon YES\n",
        home.path());
    EXPECT_EQ(result.status, 0) << result.errors;
    // The unreadable bytes are still in the home folder, untouched, beside the new file.
    int kept = 0;
    for (const auto& [name, bytes] : filesUnder(home.path())) {
        kept += bytes == garbage ? 1 : 0;
    }
    EXPECT_EQ(kept, 1);
}

TEST_F(DesktopScriptRun, ACorruptLoginItemFileIsKeptAndTheListStartsAfresh) {
    TemporaryFolder home;
    const std::string garbage = "bplist00\x01\x02 not really";
    home.write("Library/Preferences/com.apple.loginitems.plist", garbage);
    const RunResult result = runScript(
        "expect loginitems 0\nlaunch\nexpect default LaunchAutomaticallyOnLogin NO\n"
        "settings set LaunchAutomaticallyOnLogin on\nexpect loginitem self first\n",
        home.path());
    EXPECT_EQ(result.status, 0) << result.errors;
    int kept = 0;
    for (const auto& [name, bytes] : filesUnder(home.path())) {
        kept += bytes == garbage ? 1 : 0;
    }
    EXPECT_EQ(kept, 1);
}

// --- The user's hand as the event taps see it

struct SeenEvent {
    CGEventType type;
    CGEventFlags flags;
    std::int64_t clickState;
};

std::vector<SeenEvent> gSeen;

CGEventRef recordEvent(CGEventTapProxy, CGEventType type, CGEventRef event, void*) {
    gSeen.push_back({type, CGEventGetFlags(event),
                     CGEventGetIntegerValueField(event, kCGMouseEventClickState)});
    return event;
}

class DesktopScriptHand : public DesktopScriptRun {
protected:
    void SetUp() override {
        DesktopScriptRun::SetUp();
        gSeen.clear();
        tap_ = adoptCF(CGEventTapCreate(
            kCGHIDEventTap, kCGHeadInsertEventTap, kCGEventTapOptionListenOnly,
            CGEventMaskBit(kCGEventLeftMouseDown) | CGEventMaskBit(kCGEventLeftMouseUp),
            recordEvent, nullptr));
        source_ = adoptCF(CFMachPortCreateRunLoopSource(kCFAllocatorDefault, tap_.get(), 0));
        CFRunLoopAddSource(CFRunLoopGetMain(), source_.get(), kCFRunLoopDefaultMode);
    }
    void TearDown() override {
        CFRunLoopRemoveSource(CFRunLoopGetMain(), source_.get(), kCFRunLoopDefaultMode);
        source_.clear();
        tap_.clear();
        DesktopScriptRun::TearDown();
    }

    RetainPtr<CFMachPortRef> tap_;
    RetainPtr<CFRunLoopSourceRef> source_;
};

TEST_F(DesktopScriptHand, AClickIsAPressAndAReleaseWithTheHeldModifiers) {
    ASSERT_EQ(runHere("click 10,10 clicks=3 mods=command,shift\n").status, 0);
    ASSERT_EQ(gSeen.size(), 2u);
    EXPECT_EQ(gSeen[0].type, kCGEventLeftMouseDown);
    EXPECT_EQ(gSeen[1].type, kCGEventLeftMouseUp);
    EXPECT_EQ(gSeen[1].clickState, 3);
    for (const SeenEvent& seen : gSeen) {
        EXPECT_EQ(seen.flags, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    }
    EXPECT_EQ(sim::eventSystem().modifierFlags(), 0u) << "the keys were not let go";
}

TEST_F(DesktopScriptHand, ADoubleClickReleasesWithClickStatesOneThenTwo) {
    ASSERT_EQ(runHere("doubleclick 10,10\n").status, 0);
    ASSERT_EQ(gSeen.size(), 4u);
    EXPECT_EQ(gSeen[1].clickState, 1);
    EXPECT_EQ(gSeen[3].clickState, 2);
    EXPECT_EQ(gSeen[2].type, kCGEventLeftMouseDown);
}

TEST_F(DesktopScriptHand, DockTargetsAreTheMiddleOfTheFirstItemWithThatTitle) {
    sim::DockItemSpec item;
    item.title = "Twin";
    const sim::NodeId first = sim::desktop().addDockItem(item);
    sim::desktop().addDockItem(item);
    ASSERT_EQ(runHere("press dock:Twin\n").status, 0);
    EXPECT_EQ(sim::eventSystem().pointer().x, middleOf(first).x);
    EXPECT_EQ(sim::eventSystem().pointer().y, middleOf(first).y);
}

TEST_F(DesktopScriptHand, WindowTargetsAreTheMiddleOfTheFrontmostWindowWithThatTitle) {
    sim::ApplicationSpec setup;
    setup.name = "Notes";
    const pid_t notes = sim::desktop().addApplication(setup);
    sim::desktop().addWindow(notes, "Doc", {0, 0, 100, 100});
    const sim::NodeId front = sim::desktop().addWindow(notes, "Doc", {300, 300, 200, 100});
    ASSERT_EQ(runHere("release window:Doc\n").status, 0);
    EXPECT_EQ(sim::eventSystem().pointer().x, middleOf(front).x);
    EXPECT_EQ(sim::eventSystem().pointer().y, middleOf(front).y);
}

// --- The world

TEST_F(DesktopScriptRun, ApplicationsGetTheDefaultsTheScriptsPromise) {
    ASSERT_EQ(runHere("app \"Émile Zola\"\napp Tool path=none noitem\napp Notes hidden "
                      "item=\"My Notes\"\n")
                  .status,
              0);
    const sim::Application* emile = sim::desktop().application(501);
    ASSERT_NE(emile, nullptr);
    EXPECT_EQ(emile->name, u"Émile Zola");
    EXPECT_EQ(emile->bundleIdentifier, u"com.example.émilezola");
    EXPECT_EQ(emile->bundlePath, u"/Applications/Émile Zola.app");
    EXPECT_EQ(sim::desktop().node(emile->dockItem)->title, u"Émile Zola");
    EXPECT_EQ(sim::desktop().activePid(), 501) << "the first visible application is active";

    const sim::Application* tool = sim::desktop().application(502);
    ASSERT_NE(tool, nullptr);
    EXPECT_FALSE(tool->bundlePath);
    EXPECT_EQ(tool->dockItem, 0u);

    const sim::Application* notes = sim::desktop().application(503);
    ASSERT_NE(notes, nullptr);
    EXPECT_TRUE(notes->hidden);
    EXPECT_EQ(sim::desktop().node(notes->dockItem)->title, u"My Notes");
}

// --- The clock

TEST_F(DesktopScriptRun, WaitMovesTheClockByExactlyThatMuchAndRunsWhatFallsDue) {
    bool ran = false;
    RetainPtr<CFRunLoopTimerRef> timer = adoptCF(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + 0.5, 0, 0, 0,
        [&](CFRunLoopTimerRef) { ran = sim::clockNow() == 0.5; }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer.get(), kCFRunLoopDefaultMode);
    ASSERT_EQ(runHere("wait 0.25\nwait .25\nwait 0.125\n").status, 0);
    EXPECT_TRUE(ran) << "the timer did not run at its own time";
    EXPECT_EQ(sim::clockNow(), 0.625);
    ASSERT_EQ(runHere("wait 2\n").status, 0) << "an empty run loop still lets time pass";
    EXPECT_EQ(sim::clockNow(), 2.625);
}

// --- The story

TEST_F(DesktopScriptRun, TheStoryTellsTheStatementsAndTheTranscriptInOrderWithTheirTimes) {
    const RunResult result =
        runScript("app Safari\nwait 1.5\nclick dock:Safari mods=option\nexpect visible Safari\n");
    ASSERT_EQ(result.status, 0);
    const std::vector<std::string> inOrder{
        "   0.000  Safari is running (pid 501)\n",
        "   0.000  > the user waits 1.5 s\n",
        "   1.500  > the user clicks the Dock item \"Safari\" at ",
        " holding option\n",
        "   1.500  = Safari is visible\n",
    };
    std::size_t at = 0;
    for (const std::string& part : inOrder) {
        const std::size_t found = result.story.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << part << "\nin:\n"
                                            << result.story;
        at = found + part.size();
    }
}

}  // namespace
