// The user's hand through the live desktop's server: presses and releases reach the system as
// HID events, with the click state the event system counts from their timing and distance.
#include <gtest/gtest.h>

#include "LiveDesktopProgram.h"

namespace {

constexpr const char* kLaunchQuietly = "default ShowSettingsOnLaunch NO\nlaunch\n";

std::size_t countOf(const std::vector<std::string>& lines, const std::string& text) {
    std::size_t count = 0;
    for (const std::string& line : lines) {
        count += line.find(text) != std::string::npos ? 1 : 0;
    }
    return count;
}

TEST(LiveDesktopHand, AClickOnTheActiveApplicationsDockItemHidesItAndTheStorySaysSo) {
    LiveDesktopProgram program;
    ASSERT_NE(program.port(), 0) << program.errors();
    program.script(kLaunchQuietly);
    const auto [x, y] = program.dockItem("Safari");
    program.hand("press", x, y);
    const LiveDesktopProgram::Json after = program.hand("release", x, y);

    EXPECT_EQ(after["quenfold"]["hideRequests"], 1);
    for (const auto& app : after["applications"]) {
        if (app["name"] == "Safari") {
            EXPECT_TRUE(app["hidden"].get<bool>());
        }
    }
    EXPECT_TRUE(program.waitForLine("Safari is hidden", 0));
    const LiveDesktopProgram::Json story = program.json(program.get("/api/story?since=0"));
    EXPECT_EQ(countOf(story["lines"].get<std::vector<std::string>>(), "Safari is hidden"), 1u);
}

TEST(LiveDesktopHand, ASecondPressAtThePointWithinHalfASecondIsClickStateTwoAndHidesNothing) {
    LiveDesktopProgram program;
    program.script(kLaunchQuietly);
    // Safari is active: the first click brings TextEdit to the front, so that the second would
    // hide it if it counted as a single click.
    const auto [x, y] = program.dockItem("TextEdit");
    program.hand("press", x, y);
    program.hand("release", x, y);
    program.hand("press", x + 2, y - 2);
    const LiveDesktopProgram::Json after = program.hand("release", x + 2, y - 2);

    EXPECT_TRUE(program.waitForLine("(click state 2)", 0));
    EXPECT_EQ(after["quenfold"]["hideRequests"], 0);
    EXPECT_EQ(countOf(program.lines(), "hide requested"), 0u);
    EXPECT_EQ(countOf(program.lines(), "TextEdit is active"), 1u);
}

}  // namespace

TEST(LiveDesktopHand, AChordAndARightClickReachTheSessionAndTheRecording) {
    LiveDesktopProgram program;
    program.script(kLaunchQuietly);
    const auto [x, y] = program.dockItem("Safari");
    program.json(program.post("/api/hand", R"({"action":"key","chord":"cmd+h"})"));
    program.json(program.post(
        "/api/hand",
        LiveDesktopProgram::Json{{"action", "press"}, {"x", x}, {"y", y}, {"button", "right"}}
            .dump()));
    const LiveDesktopProgram::Json after = program.desktop();

    EXPECT_EQ(after["quenfold"]["hideRequests"], 0);
    EXPECT_TRUE(program.waitForLine("Safari is hidden", 0));
    const std::string recording = program.get("/api/recording")->body;
    EXPECT_NE(recording.find("\nkey cmd+h\n"), std::string::npos) << recording;
    EXPECT_NE(recording.find(" button=right"), std::string::npos) << recording;
}
