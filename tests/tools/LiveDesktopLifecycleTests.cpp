// The live desktop's program from start to end: the starting script as a script run has it,
// a port that cannot be had, and the end by a signal with every stored file complete.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

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

// A stop signal that comes while the program's libraries still start up, before `main`, waits
// for the stop handling: exit 0. The start-up is held where it reads OpenSSL's configuration,
// made a FIFO, until the signal has been sent.
TEST(LiveDesktopLifecycle, ASignalWhileTheLibrariesStartUpEndsTheSessionWithExit0) {
    TemporaryFolder folder;
    const std::string fifo = folder.path() + "/openssl.cnf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> words{
        kProgramPath,     "-SimulatedServe",       "0",
        "-SimulatedHome", folder.path() + "/home", "OPENSSL_CONF=" + fifo};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    std::vector<char*> environment{argv.back()};
    argv.back() = nullptr;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        environment.push_back(*variable);
    }
    environment.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (int run = 0; run < 3; ++run) {
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, kProgramPath.c_str(), &actions, nullptr, argv.data(),
                              environment.data()),
                  0);
        // The other end opens once the program waits in the FIFO's opening.
        int writer = -1;
        for (int tries = 0; writer < 0 && tries < 10000; ++tries) {
            writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            usleep(writer < 0 ? 1000 : 0);
        }
        EXPECT_GE(writer, 0) << "the libraries' start-up never read the configuration";
        kill(pid, SIGTERM);
        close(writer);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    }
    posix_spawn_file_actions_destroy(&actions);
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
