// The recording of a live session: a desktop script that replays it from its start (what the
// home folder held, the starting world, every action at the session time it had) to the state
// it shows now; moves coalesced, waits that read back exactly, and an honest end when full.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <cmath>

#include "DesktopScript/DesktopScriptWords.h"
#include "LiveDesktop/SessionRecording.h"
#include "LiveDesktopProgram.h"

namespace {

using sim::live::Moment;
using sim::live::SessionRecording;

// The program on a script, as a person replays a recording: its exit status.
int runScript(const std::string& path, const std::string& home) {
    const std::string command = "'" + kProgramPath + "' -SimulatedDesktop '" + path +
                                "' -SimulatedHome '" + home + "' > '" + path + ".out' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LiveDesktopRecording, ReplaysTheSessionFromWhatTheHomeHeldToTheStateNow) {
    TemporaryFolder folder;
    const std::string home = folder.path() + "/home";
    writeFile(folder.path() + "/earlier.desk",
              "default HideDockIcon YES\nloginitem /Applications/Mail.app unresolvable\n");
    ASSERT_EQ(runScript(folder.path() + "/earlier.desk", home), 0);

    std::string recording;
    {
        LiveDesktopProgram program({}, home);
        program.script(
            "launch\nsettings set LaunchAutomaticallyOnLogin on\nsettings close\nactivate "
            "Safari\n");
        const auto [x, y] = program.dockItem("Safari");
        program.hand("move", 100, 100);
        program.hand("move", x, y);
        program.hand("press", x, y);
        program.hand("release", x, y);
        // A tap switched off comes back by itself half a second later, with no request.
        program.script("tapdisable userinput\n");
        program.waitForLine("event tap created", program.lines().size() - 1);
        program.script("wait 2\nexpect hidden Safari\n");
        const httplib::Result answer = program.get("/api/recording");
        ASSERT_TRUE(answer && answer->status == 200);
        recording = answer->body;
        EXPECT_EQ(program.stop(), 0);
    }
    EXPECT_NE(recording.find("default HideDockIcon YES\n"), std::string::npos);
    EXPECT_NE(recording.find("loginitem /Applications/Mail.app unresolvable\n"), std::string::npos);
    EXPECT_EQ(recording.find("move 100,100"), std::string::npos) << "a move followed by a move";
    EXPECT_NE(recording.find("expect hidden Safari\n"), std::string::npos);
    EXPECT_NE(recording.find("expect loginitem self first\n"), std::string::npos);

    writeFile(folder.path() + "/recording.desk", recording);
    EXPECT_EQ(runScript(folder.path() + "/recording.desk", folder.path() + "/fresh"), 0)
        << recording << readFile(folder.path() + "/recording.desk.out");
}

// What a script's wait statement makes of the recorded wait: the clock then plus the number as
// it reads.
double replayed(const Moment& moment, double from) {
    return moment.wait.empty() ? from
                               : from + sim::script::decimalNumber(moment.wait).value_or(NAN);
}

RC_GTEST_PROP(LiveDesktopRecording, AMomentIsReachedExactlyByItsWaitAndNeverBeforeTheClock,
              (unsigned startMs, unsigned clockAheadUs, unsigned wallAheadUs)) {
    const double start = startMs / 1000.0 + 0.1;  // not on whole milliseconds
    const SessionRecording recording("", start);
    const double clock = start + clockAheadUs / 1e6;
    const Moment moment = recording.momentFor(false, start + wallAheadUs / 1e6, clock);
    RC_ASSERT(replayed(moment, start) == moment.time);
    RC_ASSERT(moment.time >= clock);
    RC_ASSERT(moment.time - std::max(clock, start + wallAheadUs / 1e6) < 0.0011);
}

TEST(LiveDesktopRecording, WhenFullItEndsWhereItStoodAndSaysSo) {
    SessionRecording recording("", 0, 40);
    int asked = 0;
    const auto stateThen = [&] {
        ++asked;
        return std::string("expect hiderequests 1\n");
    };
    for (int i = 1; i <= 5; ++i) {
        const Moment moment = recording.momentFor(false, i, i);
        const std::string statement = "press " + std::to_string(i) + ",1";
        if (recording.reserve(moment, statement.size(), false, stateThen)) {
            recording.add(moment, statement, false, moment.time);
        }
    }
    const std::string text = recording.text(recording.momentFor(false, 9, 9), "expect taps 7\n");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(recording.actionsLeftOut(), 3u);
    EXPECT_NE(text.find("up to 3 s only"), std::string::npos) << text;
    EXPECT_NE(text.find("press 2,1\n\n# The desktop at the end\nwait 1\nexpect hiderequests 1\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("press 3,1"), std::string::npos);
    EXPECT_EQ(text.find("expect taps 7"), std::string::npos) << "the state after it ended";
}

}  // namespace
