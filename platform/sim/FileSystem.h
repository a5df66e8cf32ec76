// The session's view of the file system: the real one, plus the folders that the simulated
// desktop pretends to have (application bundles, the system's preference panes).
#pragma once

#include <sys/types.h>

#include <string>

namespace sim {

bool fileSystemIsDirectory(const std::string& path);
bool fileSystemExists(const std::string& path);
// Makes `path` (and its parents) a folder of the simulated desktop.
void addVirtualDirectory(const std::string& path);
void clearVirtualDirectories();

// The calls the stored files make, as the C library's, each failable by a fault of its name
// ("open", "read", "write", "fsync", "rename", "flock", "mkdir"): a failed call answers -1 with
// errno set to the fault's status when that is positive, EIO otherwise.
int storedFileOpen(const char* path, int flags, mode_t mode = 0);
ssize_t storedFileRead(int fd, void* buffer, size_t size);
ssize_t storedFileWrite(int fd, const void* bytes, size_t size);
int storedFileSync(int fd);
int storedFileRename(const char* from, const char* to);
int storedFileLock(int fd, int operation);
// Makes the folder and its missing parents; 0, or -1 with errno.
int storedFolderMake(const std::string& path);

// What a file of this mode is, for a message about what stands where a regular file should:
// "a symbolic link", "a folder", "a named pipe", "a socket", "a device".
const char* kindOfFile(mode_t mode);

}  // namespace sim
