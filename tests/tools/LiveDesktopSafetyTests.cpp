// What the live desktop refuses through its server: bodies over 1 MiB, malformed or ill-typed
// bodies, a repeated hand action, a request without the token when served to other machines;
// and files outside the page's own folder. Each refusal changes nothing, and the server goes on.
// Which host names and origins are served is the request handling's (LiveDesktopRequestTests).
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "LiveDesktop/StaticPages.h"
#include "LiveDesktopProgram.h"

namespace {

using Json = LiveDesktopProgram::Json;

TEST(LiveDesktopSafety, RefusedOrRepeatedRequestsGetTheirStatusAndChangeNothing) {
    LiveDesktopProgram program;
    const std::string press = Json{{"action", "press"}, {"x", 10}, {"y", 10}}.dump();
    const std::string host = "127.0.0.1:" + std::to_string(program.port());
    const std::tuple<const char*, std::string, int> bodies[] = {
        {"/api/script", Json{{"text", std::string(1 << 20, '#')}}.dump(), 413},
        {"/api/hand", R"({"action":"press","x":"10","y":10})", 400},
        {"/api/script", R"({"text":["hide Safari"]})", 400},
        {"/api/hand", R"({"action":"press","x":10,)", 400},
        {"/api/hand", R"({"action":"press","x":10,"y":10,"buttons":2})", 400},
        {"/api/hand", R"({"action":"press","x":10,"y":10,"button":2})", 400},
        {"/api/hand", R"({"action":"key","chord":"cmd+hyper"})", 400},
        {"/api/hand", R"({"action":"press","x":10,"y":-1})", 400},
        {"/api/script", R"({"text":"wait 600000000\nwait 600000000"})", 400},
        {"/api/hand", R"({"action":"press","x":10,"y":10,"seq":-1})", 400},
        {"/api/hand", R"({"action":"press","x":10,"y":10,"mods":["hyper"]})", 400},
    };
    const Json before = program.desktop();
    const std::uint64_t storyBefore = program.json(program.get("/api/story"))["next"];
    for (const auto& [path, body, status] : bodies) {
        const httplib::Result answer = program.post(path, body);
        ASSERT_TRUE(answer) << body.substr(0, 80);
        EXPECT_EQ(answer->status, status) << body.substr(0, 80);
        const Json error = Json::parse(answer->body, nullptr, false);
        EXPECT_TRUE(error.is_object() && error["error"].is_string()) << body.substr(0, 80);
    }
    // A press from the page itself, named by localhost, is taken.
    EXPECT_EQ(program
                  .post("/api/hand", press,
                        {{"Host", "localhost:" + std::to_string(program.port())},
                         {"Origin", "http://" + host}})
                  ->status,
              200);
    const Json after = program.desktop();
    EXPECT_EQ(after["version"], before["version"]);
    EXPECT_EQ(program.json(program.get("/api/story"))["next"].get<std::uint64_t>(), storyBefore + 1)
        << "only the accepted press is told";
    // A hand action sent again with its seq is answered and not carried out twice.
    const std::string release = R"({"action":"release","x":10,"y":10,"seq":7})";
    EXPECT_EQ(program.post("/api/hand", release)->status, 200);
    EXPECT_EQ(program.post("/api/hand", release)->status, 200);
    EXPECT_EQ(program.json(program.get("/api/story"))["next"].get<std::uint64_t>(),
              storyBefore + 2);
}

TEST(LiveDesktopSafety, ServedToOtherMachinesEveryRequestCarriesTheTokenAndNoPageFramesIt) {
    LiveDesktopProgram program({"-SimulatedServeRemote", "YES"});
    const std::string first = program.lines().at(0);
    const std::string token = first.substr(first.rfind("?token=") + 7);
    ASSERT_EQ(token.size(), 32u) << first;
    EXPECT_EQ(program.get("/api/desktop")->status, 403);
    EXPECT_EQ(program.get("/api/desktop", {{"X-Quenfold-Token", token + "0"}})->status, 403);
    EXPECT_EQ(program.get("/api/desktop", {{"X-Quenfold-Token", token}})->status, 200);
    // Another machine names this one as its network does; the token is what counts then.
    const std::string elsewhere = "quenfold-host.local:" + std::to_string(program.port());
    EXPECT_EQ(
        program.get("/api/desktop", {{"X-Quenfold-Token", token}, {"Host", elsewhere}})->status,
        200);
    EXPECT_EQ(program
                  .post("/api/hand", R"({"action":"move","x":10,"y":10})",
                        {{"X-Quenfold-Token", token},
                         {"Host", elsewhere},
                         {"Origin", "http://" + elsewhere}})
                  ->status,
              200);
    EXPECT_EQ(program.get("/api/desktop", {{"Host", elsewhere}})->status, 403);
    // The page comes with the token in its address, and its own files with the cookie set then.
    const httplib::Result page = program.get("/?token=" + token);
    ASSERT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
    EXPECT_EQ(page->get_header_value("Content-Security-Policy"), "frame-ancestors 'none'");
    EXPECT_EQ(program.get("/desktop.css", {{"Cookie", "quenfold-token=" + token}})->status, 200);
}

class PageFolder : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(root_.path() + "/page/index.html", "<p>index</p>");
        writeFile(root_.path() + "/page/parts/app.js", "let a;");
        writeFile(root_.path() + "/page/.hidden", "hidden");
        writeFile(root_.path() + "/secret.txt", "secret");
        std::filesystem::create_symlink(root_.path() + "/secret.txt",
                                        root_.path() + "/page/link.txt");
        std::filesystem::create_symlink(root_.path(), root_.path() + "/page/up");
    }

    sim::live::HttpResponse serve(const std::string& path) {
        return sim::live::StaticPages(root_.path() + "/page").serve(path);
    }

    TemporaryFolder root_;
};

TEST_F(PageFolder, ServesItsOwnFilesWithTheirTypesAndNeverAFileFromOutsideIt) {
    EXPECT_EQ(serve("/").body, "<p>index</p>");
    EXPECT_EQ(serve("/").contentType, "text/html; charset=utf-8");
    EXPECT_EQ(serve("//parts/app.js").body, "let a;");
    EXPECT_EQ(serve("/parts/app.js").contentType, "text/javascript; charset=utf-8");
    for (const char* path :
         {"/../secret.txt", "/parts/../../secret.txt", "/link.txt", "/up/secret.txt", "/.hidden",
          "/parts/./app.js", "/..", "/parts\\..\\..\\secret.txt", "/missing.html", "/parts",
          "/parts/", ""}) {
        EXPECT_EQ(serve(path).status, 404) << path;
    }
    EXPECT_EQ(serve(std::string("/index.html\0/x", 14)).status, 404);
}

}  // namespace
