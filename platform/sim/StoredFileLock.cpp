#include "sim/StoredFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

namespace sim {

StoredFileLock::StoredFileLock(const std::string& storedPath) {
    fd_ = ::open(lockFilePath(storedPath).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        state_ = State::NoLockFile;
        return;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kPatienceSeconds);
    auto pause = std::chrono::microseconds(500);
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            state_ = State::Held;
            return;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            state_ = State::NoLockFile;  // a file system without locks
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            state_ = State::Busy;
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
