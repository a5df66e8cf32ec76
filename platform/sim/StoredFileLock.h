// The advisory lock that every process keeping a stored file takes while it reads the file to
// change it, writes it, cleans up after it or sets it aside: flock(2) on ".<name>.lock" beside
// the file. The lock file itself is never removed (removing it would let two processes hold
// locks on two different files of the same name). The lock goes with the holder, and with the
// process if it dies. A lock file that is missing is made; a symbolic link or anything else
// that is no regular file in its place is never followed or opened for it.
#pragma once

#include <string>

namespace sim {

class StoredFileLock {
public:
    enum class State {
        Held,
        Unavailable,  // no lock can be had there (see problem())
        Busy,         // another process held it for longer than kPatienceSeconds
    };
    static constexpr double kPatienceSeconds = 5.0;

    // Waits for the lock of the file at `storedPath`.
    explicit StoredFileLock(const std::string& storedPath);
    ~StoredFileLock();
    StoredFileLock(const StoredFileLock&) = delete;
    StoredFileLock& operator=(const StoredFileLock&) = delete;

    State state() const { return state_; }
    bool held() const { return state_ == State::Held; }
    // Why the lock is not held, ready to follow "cannot be written: " ("its lock file
    // .x.plist.lock is a folder", "another process has held its lock for 5 seconds").
    const std::string& problem() const { return problem_; }

    static std::string lockFilePath(const std::string& storedPath);

private:
    int fd_ = -1;
    State state_ = State::Unavailable;
    std::string problem_;
};

}  // namespace sim
