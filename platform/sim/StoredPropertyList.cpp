#include "sim/StoredPropertyList.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "sim/Faults.h"
#include "sim/HomeFolder.h"
#include "sim/PropertyList.h"
#include "sim/Transcript.h"

namespace sim {
namespace {

struct SetAsideRecord {
    std::uint64_t generation = 0;
    std::vector<SetAsideFile> files;
};

SetAsideRecord& setAsideRecord() {
    static SetAsideRecord record;
    if (record.generation != homeFolderGeneration()) {
        record.generation = homeFolderGeneration();
        record.files.clear();
    }
    return record;
}

// The first of "<path>.unreadable", "<path>.unreadable-2", … that does not exist yet.
std::string setAsideName(const std::string& path) {
    std::string candidate = path + ".unreadable";
    for (int number = 2; std::filesystem::exists(std::filesystem::symlink_status(candidate));
         ++number) {
        candidate = path + ".unreadable-" + std::to_string(number);
    }
    return candidate;
}

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

StoredFileRead readStoredPropertyList(const std::string& path, const std::string& what,
                                      const StoredContentCheck& check) {
    StoredFileRead result;
    PropertyListFile file = readPropertyListFile(path);
    if (file.status == PropertyListFile::Status::Missing) {
        return result;
    }
    std::string reason = file.error;
    if (file.status == PropertyListFile::Status::Read) {
        if (!check || check(file.root.get(), &reason)) {
            result.root = std::move(file.root);
            return result;
        }
    }

    SetAsideFile setAside{path, setAsideName(path), reason};
    const std::string shown = what + " " + pathForTranscript(path) + " is unreadable: " + reason;
    // A fault on "moveUnreadableFileAside" stands for a folder that does not let it be moved.
    const std::optional<std::int32_t> fault = faultFor<"moveUnreadableFileAside">();
    if (!fault && std::rename(path.c_str(), setAside.keptAs.c_str()) == 0) {
        record(shown + "; kept as " + fileName(setAside.keptAs));
    } else {
        const std::string moveError = std::strerror(fault ? EACCES : errno);
        setAside.keptAs.clear();
        result.writable = false;
        result.problem = pathForTranscript(path) + " is unreadable (" + reason +
                         ") and cannot be moved aside (" + moveError + "); it is left as it is";
        record(shown + "; it cannot be moved aside (" + moveError +
               "), so it is left as it is and nothing is written there");
    }
    setAsideRecord().files.push_back(std::move(setAside));
    return result;
}

std::vector<SetAsideFile> setAsideFiles() {
    return setAsideRecord().files;
}

}  // namespace sim
