#include "sim/StoredFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "sim/FileSystem.h"

namespace sim {

StoredFileLock::StoredFileLock(const std::string& storedPath) {
    const std::string path = lockFilePath(storedPath);
    const std::string shown = "its lock file " + std::filesystem::path(path).filename().string();
    // O_NOFOLLOW: a link in its place is refused, not followed to wherever it points; O_NONBLOCK:
    // a named pipe in its place does not hold the open.
    fd_ =
        storedFileOpen(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        const int openError = errno;
        struct stat inPlace {};
        if (::lstat(path.c_str(), &inPlace) == 0 && !S_ISREG(inPlace.st_mode)) {
            problem_ = shown + " is " + kindOfFile(inPlace.st_mode);
        } else {
            problem_ = shown + " cannot be opened: " + std::strerror(openError);
        }
        return;
    }
    struct stat opened {};
    if (::fstat(fd_, &opened) == 0 && !S_ISREG(opened.st_mode)) {
        problem_ = shown + " is " + kindOfFile(opened.st_mode);
        return;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kPatienceSeconds);
    auto pause = std::chrono::microseconds(500);
    for (;;) {
        if (storedFileLock(fd_, LOCK_EX | LOCK_NB) == 0) {
            state_ = State::Held;
            return;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            problem_ = shown + " cannot be locked: " + std::strerror(errno);
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            state_ = State::Busy;
            problem_ = "another process has held its lock for " +
                       std::to_string(static_cast<int>(kPatienceSeconds)) + " seconds";
            return;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(16000));
    }
}

StoredFileLock::~StoredFileLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
    }
}

std::string StoredFileLock::lockFilePath(const std::string& storedPath) {
    const std::filesystem::path path(storedPath);
    return (path.parent_path() / ("." + path.filename().string() + ".lock")).string();
}

}  // namespace sim
