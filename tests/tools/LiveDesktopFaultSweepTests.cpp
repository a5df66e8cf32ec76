// The live desktop's request handling under the fault sweep: the requests a page makes to launch
// the system, click a Dock item with the hand, set two settings switches (one of them the login
// item) and read the desktop and its recording, run once for every occurrence of every platform
// call that can fail along them, failing it alone and from then on. Every run meets its fault,
// every request is answered (an error with its reason), nothing is left alive, and another
// tool's preference is kept.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DesktopScript/DesktopScript.h"
#include "HomeFolderTest.h"
#include "LiveDesktop/LiveSession.h"
#include "LiveDesktop/RequestHandling.h"
#include "sim/Faults.h"

namespace {

using sim::live::HttpRequest;
using sim::live::HttpResponse;
using sim::live::Json;

constexpr const char* kOtherToolsPreferences =
    "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Mine</key><string>kept</string>"
    "</dict></plist>";

class LiveDesktopFaultSweep : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        // What the system keeps for its whole process is made by a first clean run; a second
        // finds the calls that every run makes.
        play(nullptr);
        countLiveObjectsFromHere();
        processObjects_ = NSObjectLiveCount();
        calls_ = play(nullptr).calls;
    }

    struct Outcome {
        std::map<std::string, std::size_t> calls;  // failable calls made, and how often
        std::string problems;
    };

    // The requests on a freshly served session with `fault` armed once it serves.
    Outcome play(const sim::Fault* fault) {
        Outcome outcome;
        sim::reset();
        // Stored files are flushed at every write: on a memory file system where there is one.
        const TemporaryFolder home{std::filesystem::is_directory("/dev/shm")
                                       ? std::filesystem::path("/dev/shm")
                                       : std::filesystem::temp_directory_path()};
        sim::setHomeFolder(home.path());
        writeFile(domainPath(), kOtherToolsPreferences);
        {
            NSAutoreleasePool pool;
            std::ostringstream story;
            sim::live::LiveSession session(story, story);
            const sim::script::ParsedScript world =
                sim::script::parseDesktopScript("world", "app Safari\nwindow Safari Start\n");
            EXPECT_EQ(session.runStartingScript(world.script, "", story), 0);
            session.beginServing(false);
            sim::live::RequestHandler handler(
                session, {"127.0.0.1", 8080, {}},
                sim::live::StaticPages(QUENFOLD_SOURCE_DIR "/tools/LiveDesktop/page"));
            const CGPoint safari = dockItem("Safari");
            const std::string at =
                R"(,"x":)" + std::to_string(safari.x) + R"(,"y":)" + std::to_string(safari.y);
            sim::resetCallCounts();
            if (fault != nullptr) {
                sim::injectFault(*fault);
            }
            for (const std::array<std::string, 3>& request :
                 std::vector<std::array<std::string, 3>>{
                     {"POST", "/api/script", R"({"text":"launch"})"},
                     {"POST", "/api/hand", R"({"action":"press","seq":1)" + at + "}"},
                     {"POST", "/api/hand", R"({"action":"release","seq":2)" + at + "}"},
                     {"POST", "/api/script", R"({"text":"settings set HideDockIcon on"})"},
                     {"POST", "/api/script",
                      R"({"text":"settings set LaunchAutomaticallyOnLogin on"})"},
                     {"GET", "/api/desktop", ""},
                     {"GET", "/api/recording", ""}}) {
                const HttpResponse answer = handler.respond(HttpRequest{
                    request[0], request[1], {}, {{"Host", "127.0.0.1:8080"}}, request[2]});
                const bool isJson = answer.contentType.starts_with("application/json");
                const Json parsed = isJson ? Json::parse(answer.body, nullptr, false) : Json();
                if ((isJson && parsed.is_discarded()) ||
                    (answer.status != 200 &&
                     !(parsed.is_object() && parsed["error"].is_string()))) {
                    outcome.problems += request[0] + " " + request[1] + " answered " +
                                        std::to_string(answer.status) + ": " + answer.body + "\n";
                }
            }
            sim::clearFaults();
            for (const auto& [call, count] : sim::callCounts()) {
                if (sim::canFail(call)) {
                    outcome.calls.emplace(call, count);
                }
            }
            session.endServing();
        }
        if (readFile(domainPath()).find("<key>Mine</key>") == std::string::npos) {
            outcome.problems += "another tool's preference was lost\n";
        }
        sim::reset();
        return outcome;
    }

    std::map<std::string, std::size_t> calls_;
    long processObjects_ = 0;
};

TEST_F(LiveDesktopFaultSweep, EveryOccurrenceFailedOnceAndFromThenOn) {
    for (const char* call :
         {"CGEventTapCreate", "hide", "LSSharedFileListInsertItemURL", "rename"}) {
        EXPECT_EQ(calls_.count(call), 1u) << call << " is not made along the requests";
    }
    std::size_t points = 0;
    std::size_t injected = 0;
    std::size_t fired = 0;
    std::size_t survived = 0;
    for (const auto& [call, occurrences] : calls_) {
        points += occurrences;
        for (std::size_t occurrence = 0; occurrence < occurrences; ++occurrence) {
            for (const int count : {1, -1}) {
                SCOPED_TRACE(call + " failing from occurrence " + std::to_string(occurrence + 1) +
                             (count == 1 ? " once" : " on"));
                const sim::Fault fault{
                    .call = call, .count = count, .after = static_cast<int>(occurrence)};
                const std::size_t firedBefore = sim::faultsFired();
                const std::string problems = play(&fault).problems;
                const bool firedNow = sim::faultsFired() > firedBefore;
                const long leftAlive = NSObjectLiveCount() - processObjects_;
                EXPECT_TRUE(firedNow) << "the fault was never met";
                EXPECT_EQ(problems, "");
                // A run may let go of what the system noted of the last press before it.
                EXPECT_LE(leftAlive, 0) << "objects of the model were left alive";
                ++injected;
                fired += firedNow ? 1 : 0;
                survived += problems.empty() && leftAlive <= 0 ? 1 : 0;
            }
        }
    }
    std::cout << "fault sweep of the live desktop's requests: " << points << " points, " << injected
              << " injected, " << fired << " fired, " << survived << " survived\n";
}

}  // namespace
