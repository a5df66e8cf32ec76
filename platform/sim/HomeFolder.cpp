// The session's home folder. Each reset makes a fresh empty temporary folder and removes the
// one made before; the runner or a test may point the home folder at a folder of its own,
// which is made if missing and never removed.
#include "sim/HomeFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "sim/Desktop.h"

namespace sim {
namespace {

struct HomeState {
    std::string path;
    std::string temporary;  // the folder this module made and must remove, or empty
    std::uint64_t generation = 0;

    ~HomeState() { removeTemporary(); }

    void removeTemporary() {
        if (!temporary.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(temporary, ignored);
            temporary.clear();
        }
    }
};

HomeState& state() {
    static HomeState home;
    return home;
}

std::string makeTemporaryFolder() {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) {
        base = "/tmp";
    }
    std::string pattern = (base / "quenfold-home-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("simulated session: cannot make a temporary home folder");
        std::abort();
    }
    return pattern;
}

}  // namespace

void useFreshTemporaryHomeFolder() {
    HomeState& home = state();
    home.removeTemporary();
    home.temporary = makeTemporaryFolder();
    home.path = home.temporary;
    ++home.generation;
}

void setHomeFolder(const std::string& path) {
    HomeState& home = state();
    std::error_code error;
    std::filesystem::create_directories(path, error);
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    std::string chosen = error ? path : absolute.lexically_normal().string();
    while (chosen.size() > 1 && chosen.back() == '/') {
        chosen.pop_back();
    }
    // The temporary folder is kept while the new home lies inside it (it goes at the next
    // reset or at exit).
    if (!home.temporary.empty() && chosen != home.temporary &&
        chosen.compare(0, home.temporary.size() + 1, home.temporary + "/") != 0) {
        home.removeTemporary();
    }
    home.path = chosen;
    ++home.generation;
}

std::string homeFolder() {
    HomeState& home = state();
    if (home.path.empty()) {
        // Asked before the first reset.
        useFreshTemporaryHomeFolder();
    }
    return home.path;
}

std::uint64_t homeFolderGeneration() {
    homeFolder();
    return state().generation;
}

std::string preferencesFilePath(const std::string& fileName) {
    return homeFolder() + "/Library/Preferences/" + fileName;
}

std::string pathForTranscript(const std::string& path) {
    const std::string home = homeFolder() + "/";
    return path.compare(0, home.size(), home) == 0 ? path.substr(home.size()) : path;
}

}  // namespace sim
