#include "sim/FileSystem.h"

#include <filesystem>
#include <set>
#include <system_error>

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

}  // namespace sim
