// Helpers for suites that look at the files of the session's home folder: a folder of the
// test's own that outlives session resets (for two "runs" with the same home), and small
// readers and writers of raw files.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SessionTest.h"
#include "control/SystemProcess.h"
#include "sim/Transcript.h"

// A temporary folder (in `base`, by default the system's), removed with everything in it when
// the holder goes.
class TemporaryFolder {
public:
    explicit TemporaryFolder(
        const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::string pattern = (base / "quenfold-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string preferencesFolder() {
    return sim::homeFolder() + "/Library/Preferences";
}

// The two files the session keeps there: Quenfold's preferences and the login-item list.
inline constexpr const char* kDomainFile = "org.quenfold.Quenfold.plist";
inline constexpr const char* kListFile = "com.apple.loginitems.plist";

inline std::string domainPath() {
    return preferencesFolder() + "/" + kDomainFile;
}
inline std::string listPath() {
    return preferencesFolder() + "/" + kListFile;
}

// Whether some transcript line holds `text`.
inline bool transcriptMentions(const std::string& text) {
    for (const sim::TranscriptLine& line : sim::transcript()) {
        if (line.text.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}
