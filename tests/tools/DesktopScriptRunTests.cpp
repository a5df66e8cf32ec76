// Running desktop scripts: the exit statuses and their messages, the arguments, corrupt stored
// files, the user's hand as the event taps see it, the world, the clock and the story. The
// runner's ctest cases (scenarios/CMakeLists.txt) run a script named on the command line, the
// built-in demo, a malformed script that must leave the home folder byte for byte, and two runs
// with one home folder.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ApplicationServices/EventSystemInternal.h"
#include "DesktopScript/DesktopScript.h"
#include "DesktopScript/DesktopScriptRunner.h"
#include "DesktopScript/DesktopScriptText.h"
#include "DesktopScript/DesktopScriptValidator.h"
#include "DesktopScript/DesktopSession.h"
#include "HomeFolderTest.h"
#include "TestBundle.h"
#include "sim/Clock.h"
#include "sim/ProcessArguments.h"

namespace {

struct RunResult {
    int status = -1;
    std::string story;
    std::string errors;
};

class DesktopScriptRun : public SessionTest {
protected:
    // Scripts launch the system, and a launched system keeps some objects for the life of its
    // process (the toolkit's system-wide element). One launch before the suite makes them the
    // process's own, so the live-object check counts only what a run leaves behind.
    static void SetUpTestSuite() {
        sim::reset();
        std::string error;
        ASSERT_TRUE(frameworks::launchSystem(&error)) << error;
        sim::reset();
    }

    void TearDown() override {
        sim::setProcessArguments(0, nullptr);
        sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
        SessionTest::TearDown();
    }

    // What the program answers to a command line that asks for its usage or version (status -1
    // when it asks for a session instead), or with `run`, what a session run with it does,
    // standard input holding `input`.
    static RunResult askProgram(std::vector<std::string> arguments, bool run = false,
                                const std::string& input = "") {
        arguments.insert(arguments.begin(), "Quenfold");
        std::vector<const char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(argument.c_str());
        }
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        const int argc = static_cast<int>(argv.size());
        const int status = run ? sim::runDesktopSession(argc, argv.data(), in, out, err)
                               : sim::answerProgramQuery(argc, argv.data(), out, err).value_or(-1);
        return {status, out.str(), err.str()};
    }

    // The script from standard input, with a home folder of its own when one is given.
    static RunResult runScript(const std::string& text, const std::string& home = "") {
        std::vector<std::string> arguments{"-SimulatedDesktop", "-"};
        if (!home.empty()) {
            arguments.insert(arguments.end(), {"-SimulatedHome", home});
        }
        return askProgram(arguments, true, text);
    }

    // The script on the session as the test has built it, without a fresh session.
    static RunResult runHere(const std::string& text) {
        sim::script::ParsedScript parsed = sim::script::parseDesktopScript("here.desk", text);
        EXPECT_FALSE(parsed.error);
        EXPECT_FALSE(sim::script::validateDesktopScript(parsed.script, "Quenfold"));
        std::ostringstream out;
        std::ostringstream err;
        const int status = sim::script::runDesktopScript(parsed.script, out, err);
        return {status, out.str(), err.str()};
    }
};

// Whether the parts are found in the text in their order; the first missing one is named.
::testing::AssertionResult holdsInOrder(const std::string& text,
                                        const std::vector<std::string>& parts) {
    std::size_t at = 0;
    for (const std::string& part : parts) {
        const std::size_t found = text.find(part, at);
        if (found == std::string::npos) {
            return ::testing::AssertionFailure() << "missing or out of order: " << part << "\nin:\n"
                                                 << text;
        }
        at = found + part.size();
    }
    return ::testing::AssertionSuccess();
}

// --- Exit statuses and their messages

// A run to the end (0), a script named on the command line and one that cannot be read are the
// runner's ctest cases too.
TEST_F(DesktopScriptRun, AFailedExpectationExitsWith1AndStopsTheRun) {
    const RunResult result = runScript("app Safari\n# a comment\nexpect hidden Safari\napp Mail\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.errors, "-:3: expected Safari hidden, found it visible\n");
    EXPECT_FALSE(sim::desktop().pidNamed("Mail")) << "the run went on after the failure";
}

// A script that cannot be used exits with 2 before changing anything (no story); a statement
// that cannot be carried out exits with 2 without acting, after the story of the statements
// before it (a part of it given).
TEST_F(DesktopScriptRun, AnUnusableScriptOrAnImpossibleStatementExitsWith2WithoutActing) {
    const std::tuple<const char*, const char*, const char*> scripts[] = {
        {"app Safari\nclick dock:Safari clicks=two\n",
         "-:2: click: clicks= \"two\" is not a whole number from 0\n", ""},
        {"app Safari\nexpect visible Safari\nhide Mail\napp Mail\n",
         "-:3: no application named \"Mail\" is running here\n", ""},
        {"app Safari\nexpect visible Safari\nclick dock:Mail\n",
         "-:3: dock:Mail: no Dock item has that title\n", "= Safari is visible"},
        {"app Safari\nquitapp Dock\nclick dock:Safari\n",
         "-:3: dock:Safari: the Dock is not running\n", "Safari is running"},
        {"app Safari\nwindow Safari Doc\nclick window:Other\n",
         "-:3: window:Other: no window on screen has that title\n", "Safari is running"},
        {"app Safari\nwindow Safari Doc\nhide Safari\nclick window:Doc\n",
         "-:4: window:Doc: the window is not on screen, its application is hidden\n",
         "Safari is running"},
        {"default ShowSettingsOnLaunch NO\nlaunch\nexpect settings hidden\n"
         "settings set HideDockIcon on\n",
         "-:4: settings set: the settings window is not on screen\n", "= the settings window"},
    };
    addApp("Marker");
    for (const auto& [script, errors, storyHolds] : scripts) {
        const RunResult result = runScript(script);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.errors, errors);
        if (*storyHolds == '\0') {
            EXPECT_EQ(result.story, "");
            EXPECT_TRUE(sim::desktop().pidNamed("Marker")) << "the session was changed";
        } else {
            EXPECT_NE(result.story.find(storyHolds), std::string::npos) << result.story;
        }
        EXPECT_NE(sim::systemDefault("HideDockIcon"), true) << "the failing statement acted";
    }
}

TEST_F(DesktopScriptRun, ArgumentsThatCannotBeUsedExitWith2AndRunNothing) {
    TemporaryFolder folder;
    const std::string file = folder.path() + "/file";
    writeFile(file, "not a folder");
    const struct {
        std::vector<std::string> arguments;
        std::string errors;
    } cases[] = {
        {{"-SimulatedDesktop", folder.path()},
         folder.path() + ": cannot be read: it is a folder\n"},
        // A key without its value runs neither the demo nor a temporary home instead.
        {{"-SimulatedDesktop"}, "-SimulatedDesktop: a value must follow\n"},
        {{"-SimulatedDesktop", "-", "-SimulatedHome"}, "-SimulatedHome: a value must follow\n"},
        {{"-SimulatedDesktop", "-", "-SimulatedHome", ""},
         "-SimulatedHome: the home folder is not named\n"},
        {{"-SimulatedDesktop", "-", "-SimulatedHome", file},
         file + ": the home folder is not a folder\n"},
        {{"-SimulatedDesktop", "-", "-SimulatedHome", file + "/home"},
         file + "/home: the home folder cannot be made\n"},
    };
    for (const auto& [arguments, errors] : cases) {
        const RunResult result = askProgram(arguments, true, "app Safari\n");
        EXPECT_EQ(result.status, 2) << errors;
        EXPECT_EQ(result.errors, errors);
        EXPECT_EQ(result.story, "") << errors;
        EXPECT_FALSE(sim::desktop().pidNamed("Safari")) << errors;
    }
}

// --- Asking the program what it is

TEST_F(DesktopScriptRun, AskingForHelpPrintsTheUsageAndRunsNothing) {
    addApp("Marker");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-h"},
          {"-help"},
          {"--help"},
          {"-SimulatedHome", "/nowhere", "--help", "-SimulatedDesktop", "-"}}) {
        const RunResult result = askProgram(arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.errors, "");
        EXPECT_EQ(result.story.rfind(
                      "Usage: Quenfold [-SimulatedDesktop FILE|-] [-SimulatedHome DIR]\n", 0),
                  0u)
            << result.story;
        for (const char* part : {"-SimulatedHome DIR", "Exit status", "  2  ", "docs/"}) {
            EXPECT_NE(result.story.find(part), std::string::npos) << part;
        }
    }
    EXPECT_TRUE(sim::desktop().pidNamed("Marker")) << "a session was run";
}

// The version comes from the main bundle's Info.plist: a copy of the application's whose
// Info.plist gives another version or is gone (a bundle of its own: a bundle's Info.plist is
// read once).
TEST_F(DesktopScriptRun, VersionPrintsTheBundlesVersionFromItsInfoPlistOrExitsWith2) {
    const TestBundle versioned;
    std::string info = versioned.read("Info.plist");
    versioned.write("Info.plist",
                    info.replace(info.find("<string>1.0</string>"), 20, "<string>2.5.1</string>"));
    sim::setMainBundlePath(versioned.path());
    const RunResult result = askProgram({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.story, "Quenfold 2.5.1 (1)\n");
    EXPECT_EQ(result.errors, "");
    const TestBundle bundle;
    bundle.remove("Info.plist");
    sim::setMainBundlePath(bundle.path());
    const RunResult without = askProgram({"--version"});
    EXPECT_EQ(without.status, 2);
    EXPECT_EQ(without.story, "");
    EXPECT_EQ(without.errors, bundle.path() +
                                  "/Contents/Info.plist: the bundle's version "
                                  "(CFBundleShortVersionString) cannot be read\n");
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

TEST_F(DesktopScriptRun, AClickIsAPressAndAReleaseWithTheHeldModifiers) {
    gSeen.clear();
    const InstalledTap tap(recordEvent);
    ASSERT_EQ(runHere("click 10,10 clicks=3 mods=command,shift\n").status, 0);
    ASSERT_EQ(gSeen.size(), 2u);
    EXPECT_EQ(gSeen[0].type, kCGEventLeftMouseDown);
    EXPECT_EQ(gSeen[1].type, kCGEventLeftMouseUp);
    EXPECT_EQ(gSeen[1].clickState, 3);
    EXPECT_EQ(gSeen[0].flags, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    EXPECT_EQ(gSeen[1].flags, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    EXPECT_EQ(frameworks::eventSystem().modifierFlags(), 0u) << "the keys were not let go";
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

// --- Bounds

// The bytes of a device that never ends, as /dev/zero gives them, counted as they are read.
class EndlessZeros : public std::streambuf {
public:
    std::size_t handedOut = 0;

protected:
    int_type underflow() override {
        if (handedOut > (std::size_t{256} << 20)) {
            return traits_type::eof();  // a bound of its own, so that a reader that does not stop
                                        // fails this test instead of filling memory
        }
        setg(zeros_, zeros_, zeros_ + sizeof zeros_);
        handedOut += sizeof zeros_;
        return 0;
    }

private:
    char zeros_[4096]{};
};

TEST_F(DesktopScriptRun, AnInputThatNeverEndsStopsAtTheFirstLineLongerThanAnyStatement) {
    EndlessZeros device;
    std::istream input(&device);
    std::ostringstream out;
    std::ostringstream err;
    const char* argv[] = {"Quenfold", "-SimulatedDesktop", "-"};
    EXPECT_EQ(sim::runDesktopSession(3, argv, input, out, err), 2);
    EXPECT_EQ(err.str(), "-:1: the line is longer than 65536 bytes\n");
    EXPECT_LE(device.handedOut, std::size_t{1} << 20) << "the input was read on past the line";
    EXPECT_EQ(out.str(), "");
}

// --- The story

// A release on a Dock item is followed by one line on what Quenfold read and what it did.
TEST_F(DesktopScriptRun, TheStorySaysWhatQuenfoldReadAtEachDockClickAndWhatItDid) {
    // Quenfold's press snapshot outlives the session here (its code is linked in): the last
    // press, with no application active, leaves nothing in it.
    const RunResult result = runScript(
        "app Safari\napp Mail\naccess off\nlaunch\nactivate Safari\nclick dock:Mail\nquit\n"
        "click dock:Safari\naccess on\nlaunch\nactivate Safari\nclick dock:Safari\n"
        "activate Safari\nclick dock:Safari clicks=2\nclick dock:Mail\nwait 1\nclick dock:Mail\n"
        "hide Safari\nhide Quenfold\nclick 10,400\n");
    ASSERT_EQ(result.status, 0) << result.errors;
    const std::vector<std::string> inOrder{
        "* accessibility access is off: Quenfold cannot see the Dock (the Dock item \"Mail\", "
        "click state 1, Safari active at the press)\n",
        "* Quenfold is not running: nothing watches the Dock (the Dock item \"Safari\", click "
        "state 1, Mail active at the press)\n",
        "* Safari was active when the button went down: Quenfold hides it (it read the Dock item "
        "\"Safari\", click state 1, Safari active at the press)\n",
        "* a double click: Quenfold leaves it (it read the Dock item \"Safari\", click state 2, "
        "Safari active at the press)\n",
        "* another application's item: Quenfold leaves Safari (it read the Dock item \"Mail\", "
        "click state 1, Safari active at the press)\n",
        "* Mail was active when the button went down: Quenfold hides it",
    };
    EXPECT_TRUE(holdsInOrder(result.story, inOrder));
}

TEST_F(DesktopScriptRun, TheStoryTellsTheStatementsAndTheTranscriptInOrderAtTheVirtualTime) {
    const RunResult result = runScript(
        "app Safari\nwait 1.5\nclick dock:Safari mods=option\nexpect visible Safari\n"
        "hide Safari\n");
    ASSERT_EQ(result.status, 0);
    const std::vector<std::string> inOrder{
        "   0.000  Safari is running (pid 501)\n",
        "   0.000  > the user waits 1.5 s\n",
        "   1.500  > the user clicks the Dock item \"Safari\" at ",
        " holding option\n",
        "   1.500  = Safari is visible\n",
        "   1.500  Safari is hidden\n",
        "   1.500  no application is active\n",
    };
    EXPECT_TRUE(holdsInOrder(result.story, inOrder));
}

// Only a process that ran is told to have quit: the system's agent before its first launch and
// after a quit stands for a launch, and ends untold at a logout.
TEST_F(DesktopScriptRun, ALogoutTellsTheQuitOfWhatRanOnly) {
    const RunResult result =
        runScript("app Safari\nlogout\nlogin\nlaunch\nquit\nlogout\nlogin\nlaunch\nlogout\n");
    ASSERT_EQ(result.status, 0) << result.errors;
    std::size_t told = 0;
    for (std::size_t at = result.story.find("Quenfold has quit"); at != std::string::npos;
         at = result.story.find("Quenfold has quit", at + 1)) {
        ++told;
    }
    EXPECT_EQ(told, 2u) << result.story;
    EXPECT_NE(result.story.find("Safari has quit"), std::string::npos);
}

}  // namespace
