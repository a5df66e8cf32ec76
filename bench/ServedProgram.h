// The program serving its live desktop (the built-in demo's world) on a free port, for the
// benchmarks that use it over HTTP as its clients do. Its story is read and dropped. The program
// is this build's, or the one QUENFOLD_PROGRAM names (another build, measured side by side).
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

extern char** environ;

class ServedProgram {
public:
    ServedProgram() {
        int out[2];
        if (pipe(out) != 0) {
            throw std::runtime_error("no pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const char* other = std::getenv("QUENFOLD_PROGRAM");
        std::string program = other != nullptr
                                  ? std::string(other)
                                  : std::string(QUENFOLD_BUNDLE_PATH) + "/Contents/MacOS/Quenfold";
        std::string serve = "-SimulatedServe";
        std::string port = "0";
        char* argv[] = {program.data(), serve.data(), port.data(), nullptr};
        const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (spawned != 0) {
            close(out[0]);
            throw std::runtime_error("the program cannot be started");
        }
        // The first line names the address served: "serving http://127.0.0.1:PORT/".
        std::string first;
        for (char c; read(out[0], &c, 1) == 1 && c != '\n';) {
            first += c;
        }
        port_ = std::atoi(first.substr(first.rfind(':') + 1).c_str());
        drain_ = std::thread([fd = out[0]] {
            char buffer[1 << 16];
            while (read(fd, buffer, sizeof buffer) > 0) {
            }
            close(fd);
        });
        if (port_ <= 0) {
            stop();
            throw std::runtime_error("the program serves nothing: " + first);
        }
    }
    ~ServedProgram() {
        if (pid_ != 0) {
            stop();
        }
    }
    ServedProgram(const ServedProgram&) = delete;
    ServedProgram& operator=(const ServedProgram&) = delete;

    // Ends the program as a person would (SIGTERM) and answers its exit status.
    int stop() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
        drain_.join();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int port() const { return port_; }
    // The program's processor time so far (user and system), in seconds: what the server spends,
    // however busy the machine is.
    double processorSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int index = 3; index <= 15 && fields >> field; ++index) {
            ticks += index >= 14 ? std::stod(field) : 0;  // utime and stime
        }
        return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    // The program's resident memory, in MiB.
    double residentMiB() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0) {
                return std::stod(line.substr(6)) / 1024;
            }
        }
        return 0;
    }

private:
    pid_t pid_ = 0;
    int port_ = 0;
    std::thread drain_;
};
