// The session's view of the file system: the real one, plus the folders that the simulated
// desktop pretends to have (application bundles, the system's preference panes).
#pragma once

#include <string>

namespace sim {

bool fileSystemIsDirectory(const std::string& path);
bool fileSystemExists(const std::string& path);
// Makes `path` (and its parents) a folder of the simulated desktop.
void addVirtualDirectory(const std::string& path);
void clearVirtualDirectories();

}  // namespace sim
