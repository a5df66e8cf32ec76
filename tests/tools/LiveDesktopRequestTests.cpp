// The live desktop's request handling as a plain function, without a socket: which host names
// and origins are the served ones, how paths and methods are answered, the inspector, the story
// ring, the desktop's version, and a page's requests under the fault sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>

#include "HomeFolderTest.h"
#include "LiveDesktop/LiveSession.h"
#include "LiveDesktop/RequestHandling.h"
#include "LiveDesktop/StoryRing.h"
#include "sim/Faults.h"

namespace {

using sim::live::HttpRequest;
using sim::live::HttpResponse;
using sim::live::Json;

class LiveDesktopRequests : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        // The toolkit's system-wide element, made at its first question, lives for the whole
        // process, as it does in the system: it is made before the objects are counted.
        serve();
        ask("GET", "/api/inspect?x=0&y=0");
        stopServing();
        sim::reset();
        countLiveObjectsFromHere();
        serve();
    }
    void TearDown() override {
        stopServing();
        SessionTest::TearDown();
    }

    void serve() {
        session_.emplace(story_, errors_);
        sim::script::Script none;
        ASSERT_EQ(session_->runStartingScript(none, "", errors_), 0);
        session_->beginServing(false);
        handler_.emplace(*session_, sim::live::ServedAddress{"127.0.0.1", 8080, {}},
                         sim::live::StaticPages(QUENFOLD_SOURCE_DIR "/tools/LiveDesktop/page"));
    }
    void stopServing() {
        handler_.reset();
        session_.reset();
    }

    HttpResponse ask(const std::string& method, const std::string& path,
                     const std::string& body = "",
                     std::vector<std::pair<std::string, std::string>> headers = {
                         {"Host", "127.0.0.1:8080"}}) {
        HttpRequest request{method, path, {}, std::move(headers), body};
        if (const std::size_t query = path.find('?'); query != std::string::npos) {
            request.path = path.substr(0, query);
            std::istringstream pairs(path.substr(query + 1));
            for (std::string pair; std::getline(pairs, pair, '&');) {
                const std::size_t equals = pair.find('=');
                request.query.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
            }
        }
        return handler_->respond(request);
    }
    Json json(const HttpResponse& response) { return Json::parse(response.body); }

    std::ostringstream story_;
    std::ostringstream errors_;
    std::optional<sim::live::LiveSession> session_;
    std::optional<sim::live::RequestHandler> handler_;
};

// The requests a page makes to launch the system, click a Dock item with the hand, set two
// switches (one of them the login item) and read the desktop and its recording, under the fault
// sweep: every occurrence of every failable call along them failed alone, and from then on.
// Every run meets its fault, every request is answered (an error with its reason), nothing is
// left alive and another tool's preference is kept.
TEST_F(LiveDesktopRequests, APagesRequestsAreAnsweredWhicheverCallFails) {
    // Stored files are flushed at every write: on a memory file system where there is one.
    const TemporaryFolder home{std::filesystem::is_directory("/dev/shm")
                                   ? std::filesystem::path("/dev/shm")
                                   : std::filesystem::temp_directory_path()};
    const auto play = [&](const sim::Fault* fault) {
        stopServing();
        sim::reset();
        std::filesystem::remove_all(home.path() + "/Library");
        sim::setHomeFolder(home.path());
        writeFile(domainPath(),
                  "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Mine</key>"
                  "<string>kept</string></dict></plist>");
        serve();
        ask("POST", "/api/script", R"({"text":"app Safari"})");
        const CGPoint safari = dockItem("Safari");
        const std::string at =
            R"(,"x":)" + std::to_string(safari.x) + R"(,"y":)" + std::to_string(safari.y) + "}";
        sim::resetCallCounts();
        if (fault != nullptr) {
            sim::injectFault(*fault);
        }
        std::string problems;
        for (const auto& [method, path, body] :
             std::vector<std::tuple<std::string, std::string, std::string>>{
                 {"POST", "/api/script", R"({"text":"launch"})"},
                 {"POST", "/api/hand", R"({"action":"press","seq":1)" + at},
                 {"POST", "/api/hand", R"({"action":"release","seq":2)" + at},
                 {"POST", "/api/script", R"({"text":"settings set HideDockIcon on"})"},
                 {"POST", "/api/script",
                  R"({"text":"settings set LaunchAutomaticallyOnLogin on"})"},
                 {"GET", "/api/desktop", ""},
                 {"GET", "/api/recording", ""}}) {
            const HttpResponse answer = ask(method, path, body);
            const bool isJson = answer.contentType.starts_with("application/json");
            const Json parsed = isJson ? Json::parse(answer.body, nullptr, false) : Json();
            // A failure is answered with its reason; a 500 is a request that broke.
            if ((isJson && parsed.is_discarded()) || answer.status >= 500 ||
                (answer.status != 200 && !(parsed.is_object() && parsed["error"].is_string()))) {
                problems += method + " " + path + " answered " + std::to_string(answer.status) +
                            ": " + answer.body + "\n";
            }
        }
        sim::clearFaults();
        std::map<std::string, std::size_t> calls;
        for (const auto& [call, count] : sim::callCounts()) {
            if (sim::canFail(call)) {
                calls.emplace(call, count);
            }
        }
        stopServing();
        if (readFile(domainPath()).find("<key>Mine</key>") == std::string::npos) {
            problems += "another tool's preference was lost\n";
        }
        sim::reset();
        return std::pair{calls, problems};
    };
    // A first run makes what the system keeps for its process (the last press it noted).
    play(nullptr);
    const long processObjects = NSObjectLiveCount();
    const auto [calls, cleanProblems] = play(nullptr);
    EXPECT_EQ(cleanProblems, "");
    for (const char* call :
         {"CGEventTapCreate", "hide", "LSSharedFileListInsertItemURL", "rename"}) {
        EXPECT_EQ(calls.count(call), 1u) << call << " is not made along the requests";
    }
    std::size_t points = 0;
    std::size_t fired = 0;
    std::size_t survived = 0;
    for (const auto& [call, occurrences] : calls) {
        points += occurrences;
        for (std::size_t occurrence = 0; occurrence < occurrences; ++occurrence) {
            for (const int count : {1, -1}) {
                SCOPED_TRACE(call + " failing from occurrence " + std::to_string(occurrence + 1) +
                             (count == 1 ? " once" : " on"));
                const sim::Fault fault{
                    .call = call, .count = count, .after = static_cast<int>(occurrence)};
                const std::size_t firedBefore = sim::faultsFired();
                const std::string problems = play(&fault).second;
                const bool firedNow = sim::faultsFired() > firedBefore;
                // A run may let go of what the system noted of the last press before it.
                const long leftAlive = NSObjectLiveCount() - processObjects;
                EXPECT_TRUE(firedNow) << "the fault was never met";
                EXPECT_EQ(problems, "");
                EXPECT_LE(leftAlive, 0) << "objects of the model were left alive";
                fired += firedNow ? 1 : 0;
                survived += problems.empty() && leftAlive <= 0 ? 1 : 0;
            }
        }
    }
    std::cout << "fault sweep of the live desktop's requests: " << points << " points, "
              << 2 * points << " injected, " << fired << " fired, " << survived << " survived\n";
    play(nullptr);
    countLiveObjectsFromHere();  // what the system now keeps for its process
    serve();
}

TEST_F(LiveDesktopRequests, TheServedAddressAndLocalhostWithItsPortAreTheOnlyHosts) {
    for (const auto& [host, status] :
         {std::pair{"127.0.0.1:8080", 200}, std::pair{"localhost:8080", 200},
          std::pair{"LocalHost:8080", 200}, std::pair{"localhost:8081", 403},
          std::pair{"127.0.0.1", 403}, std::pair{"quenfold.example:8080", 403}, std::pair{"", 403},
          std::pair{" 127.0.0.1:8080 ", 403}}) {
        EXPECT_EQ(ask("GET", "/api/desktop", "", {{"Host", host}}).status, status) << host;
    }
    EXPECT_EQ(ask("GET", "/api/desktop", "", {}).status, 403) << "no Host at all";
    // A page of another site may not change the session; reading is left to the browser's own
    // rules, which keep the answer from that page.
    const std::vector<std::pair<std::string, std::string>> foreign{
        {"Host", "127.0.0.1:8080"}, {"Origin", "http://localhost:8080.evil.example"}};
    EXPECT_EQ(ask("POST", "/api/script", R"({"text":""})", foreign).status, 403);
    EXPECT_EQ(ask("GET", "/api/desktop", "", foreign).status, 200);
    EXPECT_EQ(ask("POST", "/api/script", R"({"text":""})",
                  {{"host", "localhost:8080"}, {"origin", "http://LOCALHOST:8080"}})
                  .status,
              200);
}

TEST_F(LiveDesktopRequests, PathsAndMethodsTheInterfaceDoesNotHaveAreRefused) {
    const HttpResponse wrongMethod = ask("GET", "/api/hand");
    EXPECT_EQ(wrongMethod.status, 405);
    EXPECT_NE(std::find(wrongMethod.headers.begin(), wrongMethod.headers.end(),
                        std::pair<std::string, std::string>{"Allow", "POST"}),
              wrongMethod.headers.end());
    EXPECT_EQ(ask("DELETE", "/api/desktop").status, 405);
    EXPECT_EQ(ask("POST", "/index.html", "{}").status, 405);
    EXPECT_EQ(ask("GET", "/api/desktops").status, 404);
    EXPECT_EQ(ask("GET", "/api/story?since=-1").status, 400);
    EXPECT_EQ(ask("GET", "/api/inspect?x=1e3&y=5").status, 400) << "no exponent";
    EXPECT_EQ(ask("GET", "/api/inspect?x=5").status, 400);
    EXPECT_EQ(ask("POST", "/api/hand", "[[[[[[[[[[[[1]]]]]]]]]]]]").status, 400);
    EXPECT_EQ(ask("GET", "/").contentType, "text/html; charset=utf-8");
}

TEST_F(LiveDesktopRequests, AWebSocketOpensAtTheHandForTheServedPageWithAWholeHandshake) {
    const auto handshake = [](const std::string& connection, const std::string& version,
                              const std::string& key, const std::string& origin) {
        return std::vector<std::pair<std::string, std::string>>{
            {"Host", "127.0.0.1:8080"}, {"Upgrade", "WebSocket"},
            {"Connection", connection}, {"Sec-WebSocket-Version", version},
            {"Sec-WebSocket-Key", key}, {"Origin", origin}};
    };
    const std::string key = "dGhlIHNhbXBsZSBub25jZQ==";
    const std::string page = "http://127.0.0.1:8080";
    const HttpResponse opened =
        ask("GET", "/api/hand", "", handshake("keep-alive, Upgrade", "13", key, page));
    EXPECT_EQ(opened.status, 101);
    EXPECT_TRUE(opened.opensWebSocket);
    EXPECT_NE(std::find(opened.headers.begin(), opened.headers.end(),
                        std::pair<std::string, std::string>{"Sec-WebSocket-Accept",
                                                            "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="}),
              opened.headers.end());

    EXPECT_EQ(ask("GET", "/api/hand", "", handshake("keep-alive", "13", key, page)).status, 400);
    const HttpResponse oldVersion =
        ask("GET", "/api/hand", "", handshake("Upgrade", "8", key, page));
    EXPECT_EQ(oldVersion.status, 426);
    EXPECT_NE(std::find(oldVersion.headers.begin(), oldVersion.headers.end(),
                        std::pair<std::string, std::string>{"Sec-WebSocket-Version", "13"}),
              oldVersion.headers.end());
    EXPECT_EQ(ask("GET", "/api/hand", "", handshake("Upgrade", "13", "c2hvcnQ=", page)).status,
              400);
    EXPECT_EQ(
        ask("GET", "/api/hand", "", handshake("Upgrade", "13", key, "http://evil.example")).status,
        403);
    const HttpResponse elsewhere =
        ask("GET", "/api/desktop", "", handshake("Upgrade", "13", key, page));
    EXPECT_EQ(elsewhere.status, 200) << "an upgrade elsewhere is not taken";
    EXPECT_FALSE(elsewhere.opensWebSocket);
}

TEST_F(LiveDesktopRequests, TheInspectorAnswersWhatTheToolkitSeesAtAPoint) {
    ASSERT_EQ(
        json(
            ask("POST", "/api/script",
                R"({"text":"dockitem Downloads url=file:///Users/u/Downloads/ urlobject"})"))["ok"],
        true);
    Json downloads;
    const Json desktop = json(ask("GET", "/api/desktop"));
    for (const Json& entry : desktop["dock"]) {
        if (entry["title"] == "Downloads") {
            downloads = entry;
        }
    }
    ASSERT_TRUE(downloads.is_object());
    const double x = downloads["x"].get<double>() + downloads["w"].get<double>() / 2;
    const double y = downloads["y"].get<double>() + downloads["h"].get<double>() / 2;
    const Json item = json(ask("GET", "/api/inspect?x=" + std::to_string(static_cast<int>(x)) +
                                          "&y=" + std::to_string(static_cast<int>(y))));
    EXPECT_EQ(item["AXRole"], "AXDockItem");
    EXPECT_EQ(item["AXSubrole"], "AXFolderDockItem");
    EXPECT_EQ(item["AXTitle"], "Downloads");
    EXPECT_EQ(item["AXURL"], "file:///Users/u/Downloads/");
    EXPECT_NE(item["lineage"].get<std::string>().find("<AXApplication: \"Dock\">"),
              std::string::npos);
    EXPECT_TRUE(json(ask("GET", "/api/inspect?x=10&y=10")).is_null());
}

TEST_F(LiveDesktopRequests, TheVersionGrowsByOneForEachChangeAndNotForWhatChangesNothing) {
    const std::uint64_t start = json(ask("GET", "/api/desktop"))["version"];
    ask("POST", "/api/script", R"({"text":"app Safari"})");
    EXPECT_EQ(json(ask("GET", "/api/desktop"))["version"], start + 1);
    ask("POST", "/api/hand", R"({"action":"move","x":10,"y":10})");
    ask("POST", "/api/script", R"({"text":"expect visible Safari"})");
    EXPECT_EQ(json(ask("GET", "/api/desktop"))["version"], start + 1);
    const Json hidden = json(ask("POST", "/api/script", R"({"text":"hide Safari"})"));
    EXPECT_EQ(hidden["desktop"]["version"], start + 2);
    // Moves are not told: the story holds only the two scripts' lines.
    EXPECT_EQ(story_.str().find("moves the pointer"), std::string::npos);
}

TEST_F(LiveDesktopRequests, ReadingChangesNeitherTheDesktopNorTheStoryNorTheClock) {
    ask("POST", "/api/script", R"({"text":"app Safari\nwindow Safari Start 10 40 400 300"})");
    const std::string desktop = ask("GET", "/api/desktop").body;
    const std::string recording = ask("GET", "/api/recording").body;
    const std::string story = story_.str();
    for (const char* path : {"/api/inspect?x=200&y=200", "/api/inspect?x=720&y=868",
                             "/api/recording", "/api/story?since=0", "/api/desktop",
                             "/api/events?since=0", "/api/events?since=1&story=0"}) {
        ask("GET", path);
    }
    session_->noticeChanges();
    EXPECT_EQ(ask("GET", "/api/desktop").body, desktop);
    EXPECT_EQ(ask("GET", "/api/recording").body, recording);
    EXPECT_EQ(story_.str(), story);
}

TEST_F(LiveDesktopRequests, ChangesSinceAVersionCarryOnlyThePartsThatChanged) {
    const Json start = json(ask("GET", "/api/desktop"));
    const std::uint64_t version = start["version"];
    const Json added = json(ask("POST", "/api/script", R"({"text":"app Safari"})"))["desktop"];
    const std::string hide = R"({"action":"key","chord":"cmd+h","since":)";
    const Json hidden = json(ask("POST", "/api/hand", hide + std::to_string(version + 1) + "}"));
    EXPECT_EQ(hidden["from"], version + 1);
    EXPECT_EQ(hidden["version"], version + 2);
    EXPECT_TRUE(hidden.contains("applications"));
    EXPECT_FALSE(hidden.contains("dock")) << "the Dock did not change";
    EXPECT_FALSE(hidden.contains("whole"));
    EXPECT_NE(hidden["story"]["lines"].at(0).get<std::string>().find("cmd+h"), std::string::npos);
    // Unhidden again, from before Safari came: both changes' parts, only the action's lines.
    const Json shown = json(ask("POST", "/api/hand", hide + std::to_string(version) + "}"));
    EXPECT_TRUE(shown.contains("dock")) << "Safari's item came with the first change";
    EXPECT_EQ(shown["story"]["lines"].dump().find("Safari is running"), std::string::npos);
    for (const auto& [since, session] :
         {std::pair{std::optional<std::uint64_t>(), std::optional<std::string>()},
          std::pair{std::optional<std::uint64_t>(version + 9), std::optional<std::string>()},
          std::pair{std::optional<std::uint64_t>(version), std::optional<std::string>("other")}}) {
        const Json whole = session_->changesSince(since, std::nullopt, session);
        EXPECT_EQ(whole["whole"], true);
        EXPECT_EQ(whole["session"], added["session"]);
        EXPECT_EQ(whole["dock"], json(ask("GET", "/api/desktop"))["dock"]);
    }
    EXPECT_EQ(ask("GET", "/api/events?since=x").status, 400);
    EXPECT_EQ(ask("GET", "/api/events?since=1").status, 503) << "no event streams without a server";
}

TEST_F(LiveDesktopRequests, QuenfoldsStateAndSettingsWindowAreDescribedForDrawing) {
    const Json before = json(ask("GET", "/api/desktop"))["quenfold"];
    EXPECT_EQ(before["state"], "notLaunched");
    EXPECT_TRUE(before["pid"].is_null());
    EXPECT_TRUE(before["settings"]["title"].is_null());
    EXPECT_EQ(before["settings"]["views"], Json::array());

    const Json launched = json(ask("POST", "/api/script", R"({"text":"launch"})"))["desktop"];
    EXPECT_EQ(launched["quenfold"]["state"], "running");
    const Json& front = launched["windows"][0];
    EXPECT_EQ(front["pid"], launched["quenfold"]["pid"]);
    const Json& settings = launched["quenfold"]["settings"];
    EXPECT_EQ(front["title"], settings["title"]);
    EXPECT_EQ(settings["title"], "Quenfold Settings");
    const Json& views = settings["views"];
    // Each view as the settings window describes it (SystemProcessTests.cpp).
    ASSERT_EQ(views.size(), 5u);
    EXPECT_EQ(views[0]["text"], settings["status"]);
    EXPECT_EQ(views[0]["color"], settings["statusColor"]);
    EXPECT_EQ(views[4]["kind"], "switch");
    EXPECT_EQ(views[4]["key"], "HideDockIcon");
    EXPECT_TRUE(views[4]["action"].is_null());
    EXPECT_TRUE(views[4]["color"].is_null());
    EXPECT_EQ(views[4]["y"], 170.0);
    EXPECT_EQ(views[4]["h"], 22.0);

    const Json quit = json(ask("POST", "/api/script", R"({"text":"quit"})"))["desktop"]["quenfold"];
    EXPECT_EQ(quit["state"], "quit");
    EXPECT_TRUE(quit["pid"].is_null());
}

TEST(LiveDesktopStoryRing, KeepsTheNewestLinesWithinItsBoundsAndNumbersThemForClients) {
    sim::live::StoryRing ring(3, 12);
    for (const char* line : {"one", "two", "three", "four"}) {
        ring.append(line);
    }
    EXPECT_EQ(ring.linesAfter(0).lines, (std::vector<std::string>{"two", "three", "four"}));
    EXPECT_EQ(ring.linesAfter(2).lines, (std::vector<std::string>{"three", "four"}));
    EXPECT_EQ(ring.linesAfter(4).lines, std::vector<std::string>{});
    EXPECT_EQ(ring.linesAfter(99).next, 4u) << "a client of an earlier session starts again";
    ring.append("a line longer than the bound");
    EXPECT_EQ(ring.linesAfter(0).lines, std::vector<std::string>{"a line longer than the bound"});
    EXPECT_EQ(ring.linesAfter(0).next, 5u);
}

}  // namespace
