// Desktop-script statements sent to the live desktop: run against the world as it stands,
// checked whole first, with failed expectations reported in the answer.
#include <gtest/gtest.h>

#include "LiveDesktopProgram.h"

namespace {

using Json = LiveDesktopProgram::Json;

Json applicationNamed(const Json& desktop, const std::string& name) {
    for (const Json& app : desktop["applications"]) {
        if (app["name"] == name) {
            return app;
        }
    }
    return nullptr;
}

TEST(LiveDesktopScript, StatementsActOnTheCurrentWorldOnlyWhenTheWholeTextIsUsable) {
    LiveDesktopProgram program;
    // The demo's world is there already: Safari and TextEdit run, Safari is active, then Finder.
    const Json ran = program.script("app Mail\nhide Safari\nexpect hidden Safari\n");
    EXPECT_EQ(ran["ok"], true);
    EXPECT_TRUE(applicationNamed(ran["desktop"], "Safari")["hidden"].get<bool>());
    EXPECT_EQ(applicationNamed(ran["desktop"], "Mail")["pid"], 504);

    const Json failed = program.script("unhide Safari\nexpect hidden Safari\nquitapp Mail\n");
    EXPECT_EQ(failed["ok"], false);
    EXPECT_EQ(failed["line"], 2);
    EXPECT_EQ(failed["message"], "expected Safari hidden, found it visible");
    // The statement before the expectation ran, the one after it did not.
    EXPECT_FALSE(applicationNamed(failed["desktop"], "Safari")["hidden"].get<bool>());
    EXPECT_FALSE(applicationNamed(failed["desktop"], "Mail").is_null());

    // A malformed text, or one that names what is not there, changes nothing.
    const Json before = program.desktop();
    const std::size_t storyBefore = program.json(program.get("/api/story"))["next"];
    for (const auto& [text, line] :
         {std::pair{"hide Safari\nclick 10,10 mods=hyper\n", 2},
          std::pair{"hide Safari\nactivate Preview\n", 2}, std::pair{"app Mail\n", 1},
          std::pair{"settings close\n", 1}}) {
        const httplib::Result answer = program.post("/api/script", Json{{"text", text}}.dump());
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 400) << text;
        const Json refused = Json::parse(answer->body);
        EXPECT_EQ(refused["ok"], false);
        EXPECT_EQ(refused["line"], line) << text;
        EXPECT_TRUE(refused["error"].is_string());
    }
    const Json after = program.desktop();
    EXPECT_EQ(after["version"], before["version"]);
    EXPECT_EQ(after["applications"], before["applications"]);
    EXPECT_EQ(program.json(program.get("/api/story"))["next"], storyBefore);
}

}  // namespace
