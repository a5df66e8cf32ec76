// The program serving a live desktop, for tests that use it as a client does: started on port 0
// with a home folder of its own, its standard output read line by line as it comes (the first
// line names the port), HTTP requests through a client library, and its end by a signal.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "HomeFolderTest.h"

extern char** environ;

inline const std::string kProgramPath =
    std::string(QUENFOLD_BUNDLE_PATH) + "/Contents/MacOS/Quenfold";

// A socket connected to `port` on the loopback, for tests that write HTTP by hand; -1 when it
// cannot connect.
inline int connectedSocket(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

class LiveDesktopProgram {
public:
    using Json = nlohmann::json;
    static constexpr std::chrono::seconds kPatience{30};

    // -SimulatedServe 0 -SimulatedHome <home> and `arguments`; `input` on standard input.
    explicit LiveDesktopProgram(std::vector<std::string> arguments = {},
                                const std::string& home = "", const std::string& input = "") {
        std::vector<std::string> words{kProgramPath, "-SimulatedHome",
                                       home.empty() ? home_.path() : home};
        if (std::find(arguments.begin(), arguments.end(), "-SimulatedServe") == arguments.end()) {
            words.insert(words.end(), {"-SimulatedServe", "0"});
        }
        words.insert(words.end(), arguments.begin(), arguments.end());
        int in[2];
        int out[2];
        int err[2];
        if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
            ADD_FAILURE() << "no pipes";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        for (int fd : {in[1], out[0], err[0]}) {
            posix_spawn_file_actions_addclose(&actions, fd);
        }
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, kProgramPath.c_str(), &actions, nullptr, argv.data(), environ) !=
            0) {
            ADD_FAILURE() << "the program cannot be started";
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        for (int fd : {in[0], out[1], err[1]}) {
            close(fd);
        }
        if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
            ADD_FAILURE() << "standard input cannot be written";
        }
        close(in[1]);
        reader_ = std::thread([this, out = out[0], err = err[0]] { readOutput(out, err); });
        const std::optional<std::size_t> first = waitForLine("", 0);
        const std::string prefix = "serving http://127.0.0.1:";
        if (first && lines()[0].rfind(prefix, 0) == 0) {
            port_ = std::stoi(lines()[0].substr(prefix.size()));
        }
    }

    ~LiveDesktopProgram() {
        if (pid_ != 0 && !status_) {
            kill(pid_, SIGKILL);
            waitForExit();
        }
        if (reader_.joinable()) {
            reader_.join();
        }
    }

    int port() const { return port_; }

    httplib::Result get(const std::string& path, const httplib::Headers& headers = {}) {
        return client().Get(path, headers);
    }
    httplib::Result post(const std::string& path, const std::string& body,
                         const httplib::Headers& headers = {}) {
        return client().Post(path, headers, body, "application/json");
    }
    // The JSON a request answered with 200; a failure of the test otherwise.
    Json json(const httplib::Result& result) {
        EXPECT_TRUE(result) << "no answer";
        if (!result) {
            return nullptr;
        }
        EXPECT_EQ(result->status, 200) << result->body;
        return Json::parse(result->body, nullptr, false);
    }
    Json desktop() { return json(get("/api/desktop")); }
    Json script(const std::string& text) {
        return json(post("/api/script", Json{{"text", text}}.dump()));
    }
    Json hand(const std::string& action, double x, double y) {
        return json(post("/api/hand", Json{{"action", action}, {"x", x}, {"y", y}}.dump()));
    }
    // The middle of the Dock item with that title, as the desktop lists it now.
    std::pair<double, double> dockItem(const std::string& title) {
        const Json now = desktop();
        for (const Json& item : now["dock"]) {
            if (item["title"] == title) {
                return {item["x"].get<double>() + item["w"].get<double>() / 2,
                        item["y"].get<double>() + item["h"].get<double>() / 2};
            }
        }
        ADD_FAILURE() << "no Dock item " << title;
        return {0, 0};
    }

    // The standard output's lines so far.
    std::vector<std::string> lines() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    std::string errors() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }
    // The index of the first line from `from` on that holds `text`, once it has come.
    std::optional<std::size_t> waitForLine(const std::string& text, std::size_t from) {
        std::unique_lock<std::mutex> lock(mutex_);
        std::optional<std::size_t> found;
        arrived_.wait_for(lock, kPatience, [&] {
            for (std::size_t i = from; i < lines_.size(); ++i) {
                if (lines_[i].find(text) != std::string::npos) {
                    found = i;
                    return true;
                }
            }
            return ended_;
        });
        return found;
    }

    // Sends the signal and answers the exit status (-1: it did not exit normally).
    int stop(int signal = SIGTERM) {
        kill(pid_, signal);
        return waitForExit();
    }
    int waitForExit() {
        if (!status_) {
            int status = 0;
            waitpid(pid_, &status, 0);
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return *status_;
    }

private:
    httplib::Client& client() {
        if (!client_) {
            client_.emplace("127.0.0.1", port_);
            client_->set_read_timeout(kPatience);
        }
        return *client_;
    }

    void readOutput(int out, int err) {
        std::string pending;
        pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
        int open = 2;
        while (open > 0 && poll(fds, 2, -1) > 0) {
            for (pollfd& fd : fds) {
                if (fd.fd < 0 || fd.revents == 0) {
                    continue;
                }
                char buffer[4096];
                const ssize_t count = read(fd.fd, buffer, sizeof buffer);
                if (count <= 0) {
                    close(fd.fd);
                    fd.fd = -1;
                    --open;
                    continue;
                }
                const std::lock_guard<std::mutex> lock(mutex_);
                if (fd.fd == err) {
                    errors_.append(buffer, static_cast<std::size_t>(count));
                    continue;
                }
                pending.append(buffer, static_cast<std::size_t>(count));
                for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                    lines_.push_back(pending.substr(0, end));
                    pending.erase(0, end + 1);
                }
                arrived_.notify_all();
            }
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        arrived_.notify_all();
    }

    TemporaryFolder home_;
    pid_t pid_ = 0;
    int port_ = 0;
    std::optional<int> status_;
    std::optional<httplib::Client> client_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> lines_;
    std::string errors_;
    bool ended_ = false;
};
