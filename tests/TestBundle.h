// A Quenfold.app in a fresh temporary folder, made from the source tree's resources/ as the
// build makes the real one: Info.plist in Contents/, everything else in Contents/Resources/.
// A test replaces or removes files to show what a launch does with them.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

class TestBundle {
public:
    TestBundle() {
        char pattern[] = "/tmp/quenfold-bundle-XXXXXX";
        const char* folder = mkdtemp(pattern);
        if (folder == nullptr) {
            throw std::runtime_error("cannot make a temporary folder for the test bundle");
        }
        root_ = folder;
        path_ = root_ + "/Quenfold.app";
        std::filesystem::create_directories(path_ + "/Contents/Resources");
        for (const auto& entry :
             std::filesystem::directory_iterator(QUENFOLD_SOURCE_DIR "/resources")) {
            const std::string name = entry.path().filename().string();
            std::filesystem::copy_file(
                entry.path(),
                path_ + "/Contents/" + (name == "Info.plist" ? "" : "Resources/") + name);
        }
    }
    ~TestBundle() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TestBundle(const TestBundle&) = delete;
    TestBundle& operator=(const TestBundle&) = delete;

    const std::string& path() const { return path_; }

    // Writes `text` to a file of Contents/ ("Info.plist", "Resources/MainMenu.plist").
    void write(const std::string& relativePath, const std::string& text) const {
        std::ofstream(path_ + "/Contents/" + relativePath, std::ios::trunc) << text;
    }
    std::string read(const std::string& relativePath) const {
        std::ifstream file(path_ + "/Contents/" + relativePath);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    void remove(const std::string& relativePath) const {
        std::filesystem::remove(path_ + "/Contents/" + relativePath);
    }

private:
    std::string root_;
    std::string path_;
};
