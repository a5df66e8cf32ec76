// The live desktop's clock: while served, the session follows the wall clock, so deferred work
// happens when it is due with no request to make it happen.
#include <gtest/gtest.h>

#include <chrono>

#include "LiveDesktopProgram.h"

namespace {

// "   5.523  event tap created …" → 5.523
double stampOf(const std::string& line) {
    return std::stod(line.substr(0, line.find_first_not_of(" 0123456789.")));
}

TEST(LiveDesktopTime, ATapSwitchedOffByUserInputIsBackHalfASecondOfRealTimeLater) {
    LiveDesktopProgram program;
    program.script("default ShowSettingsOnLaunch NO\nlaunch\n");
    const auto asked = std::chrono::steady_clock::now();
    program.script("tapdisable userinput\n");

    // No request from here on: only the story on standard output is read.
    const std::optional<std::size_t> off = program.waitForLine("event tap switched off", 0);
    ASSERT_TRUE(off);
    const std::optional<std::size_t> back = program.waitForLine("event tap created", *off);
    ASSERT_TRUE(back) << "the tap never came back";
    const auto waited = std::chrono::steady_clock::now() - asked;

    const std::vector<std::string> lines = program.lines();
    EXPECT_NEAR(stampOf(lines[*back]) - stampOf(lines[*off]), 0.5, 0.0011);
    EXPECT_GE(waited, std::chrono::milliseconds(500)) << "it came back before its time";
    EXPECT_EQ(program.desktop()["quenfold"]["taps"], 1);
}

}  // namespace
