#include "sim/FileSystem.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <system_error>

#include "sim/Faults.h"

namespace sim {
namespace {

std::set<std::string> gVirtualDirectories;

std::string normalized(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

bool fileSystemIsDirectory(const std::string& path) {
    if (gVirtualDirectories.count(normalized(path)) != 0) {
        return true;
    }
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

bool fileSystemExists(const std::string& path) {
    if (gVirtualDirectories.count(normalized(path)) != 0) {
        return true;
    }
    std::error_code error;
    return std::filesystem::exists(path, error);
}

void addVirtualDirectory(const std::string& path) {
    std::string current = normalized(path);
    while (!current.empty() && current != "/") {
        gVirtualDirectories.insert(current);
        const std::size_t slash = current.rfind('/');
        current =
            slash == std::string::npos || slash == 0 ? std::string() : current.substr(0, slash);
    }
}

void clearVirtualDirectories() {
    gVirtualDirectories.clear();
}

namespace {

// The errno of a fault armed for the call, if one is.
template <CallName Name>
bool failedByFault() {
    const std::optional<std::int32_t> fault = faultFor<Name>();
    if (!fault) {
        return false;
    }
    errno = *fault > 0 ? *fault : EIO;
    return true;
}

}  // namespace

int storedFileOpen(const char* path, int flags, mode_t mode) {
    return failedByFault<"open">() ? -1 : ::open(path, flags, mode);
}

ssize_t storedFileRead(int fd, void* buffer, size_t size) {
    return failedByFault<"read">() ? -1 : ::read(fd, buffer, size);
}

ssize_t storedFileWrite(int fd, const void* bytes, size_t size) {
    return failedByFault<"write">() ? -1 : ::write(fd, bytes, size);
}

int storedFileSync(int fd) {
    return failedByFault<"fsync">() ? -1 : ::fsync(fd);
}

int storedFileRename(const char* from, const char* to) {
    return failedByFault<"rename">() ? -1 : ::rename(from, to);
}

int storedFileLock(int fd, int operation) {
    return failedByFault<"flock">() ? -1 : ::flock(fd, operation);
}

int storedFolderMake(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return 0;
    }
    if (failedByFault<"mkdir">()) {
        return -1;
    }
    std::filesystem::create_directories(path, error);
    if (error) {
        errno = error.value();
        return -1;
    }
    return 0;
}

const char* kindOfFile(mode_t mode) {
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    return "something other than a file";
}

}  // namespace sim
