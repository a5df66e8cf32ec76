// A Quenfold.app in a fresh temporary folder, made from the source tree's resources/ as the
// build makes the real one: Info.plist in Contents/, everything else in Contents/Resources/.
// A test replaces or removes files to show what a launch does with them.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "HomeFolderTest.h"

class TestBundle {
public:
    TestBundle() : path_(folder_.path() + "/Quenfold.app") {
        if (folder_.path().empty()) {
            throw std::runtime_error("cannot make a temporary folder for the test bundle");
        }
        std::filesystem::create_directories(path_ + "/Contents/Resources");
        for (const auto& entry :
             std::filesystem::directory_iterator(QUENFOLD_SOURCE_DIR "/resources")) {
            const std::string name = entry.path().filename().string();
            std::filesystem::copy_file(
                entry.path(),
                path_ + "/Contents/" + (name == "Info.plist" ? "" : "Resources/") + name);
        }
    }

    const std::string& path() const { return path_; }

    // Writes `text` to a file of Contents/ ("Info.plist", "Resources/MainMenu.plist").
    void write(const std::string& relativePath, const std::string& text) const {
        writeFile(path_ + "/Contents/" + relativePath, text);
    }
    std::string read(const std::string& relativePath) const {
        return readFile(path_ + "/Contents/" + relativePath);
    }
    void remove(const std::string& relativePath) const {
        std::filesystem::remove(path_ + "/Contents/" + relativePath);
    }

private:
    TemporaryFolder folder_;
    std::string path_;
};
