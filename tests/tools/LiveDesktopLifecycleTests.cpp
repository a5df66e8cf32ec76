// The live desktop's program from start to end: the starting script as a script run has it,
// a port that cannot be had, and the end by a signal with every stored file complete.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "LiveDesktopProgram.h"

namespace {

TEST(LiveDesktopLifecycle, SigtermEndsTheSessionWithExit0AndItsStoredFilesComplete) {
    TemporaryFolder folder;
    const std::string home = folder.path() + "/home";
    for (int signal : {SIGTERM, SIGINT}) {
        LiveDesktopProgram program({}, home);
        program.script(signal == SIGTERM ? "launch\nsettings set HideDockIcon on\nsettings set "
                                           "LaunchAutomaticallyOnLogin on\n"
                                         : "launch\nsettings set HideDockIcon off\n");
        EXPECT_EQ(program.stop(signal), 0) << program.errors();
        EXPECT_EQ(program.errors(), "");
    }
    // A later run on the same home folder reads what each session stored.
    writeFile(folder.path() + "/check.desk",
              "expect default HideDockIcon NO\nexpect default LaunchAutomaticallyOnLogin YES\n"
              "expect loginitem self first\n");
    const std::string command = "'" + kProgramPath + "' -SimulatedDesktop '" + folder.path() +
                                "/check.desk' -SimulatedHome '" + home + "' > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(filesIn(home + "/Library/Preferences"),
              (std::vector<std::string>{
                  ".com.apple.loginitems.plist.lock", ".org.quenfold.Quenfold.plist.lock",
                  "com.apple.loginitems.plist", "org.quenfold.Quenfold.plist"}))
        << "no temporary file is left behind, only each file and its lock";
}

TEST(LiveDesktopLifecycle, TheStartingScriptRunsAsAScriptRunDoes) {
    LiveDesktopProgram refused({"-SimulatedDesktop", "-"}, "", "app Safari\nhide Mail\n");
    EXPECT_EQ(refused.waitForExit(), 2);
    EXPECT_TRUE(refused.lines().empty()) << "a malformed script serves nothing";
    EXPECT_NE(refused.errors().find("-:2: no application named \"Mail\""), std::string::npos)
        << refused.errors();

    LiveDesktopProgram failing({"-SimulatedDesktop", "-"}, "",
                               "app Safari\nexpect hidden Safari\n");
    EXPECT_EQ(failing.waitForExit(), 1);
    EXPECT_NE(failing.errors().find("-:2: expected Safari hidden, found it visible"),
              std::string::npos);

    LiveDesktopProgram served({"-SimulatedDesktop", "-"}, "", "app Mail\nexpect active Mail\n");
    ASSERT_NE(served.port(), 0);
    EXPECT_TRUE(served.waitForLine("= Mail is active", 1));
    EXPECT_EQ(served.desktop()["applications"].size(), 3u) << "the Dock, Mail and Finder, no demo";
}

TEST(LiveDesktopLifecycle, APortThatCannotBeHadExits2WithTheReason) {
    const int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    ASSERT_EQ(getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));

    for (const auto& [arguments, reason] :
         {std::pair{std::vector<std::string>{"-SimulatedServe", port}, "Address already in use"},
          std::pair{std::vector<std::string>{"-SimulatedServe", "65536"}, "from 0 to 65535"},
          std::pair{std::vector<std::string>{"-SimulatedServe", "8080", "-SimulatedServeHost",
                                             "192.0.2.1", "-SimulatedServeRemote", "YES"},
                    "cannot listen"},
          std::pair{
              std::vector<std::string>{"-SimulatedServe", "0", "-SimulatedServeHost", "0.0.0.0"},
              "not a loopback address"}}) {
        LiveDesktopProgram program(arguments);
        EXPECT_EQ(program.waitForExit(), 2) << reason;
        EXPECT_NE(program.errors().find(reason), std::string::npos) << program.errors();
    }
    close(taken);
}

}  // namespace
