#include "CoreFoundation/StoredPropertyListInternal.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"
#include "sim/HomeFolder.h"
#include "sim/StoredFileLock.h"
#include "sim/Transcript.h"

namespace frameworks {

using namespace sim;
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

// The writer's process id in the name of a temporary file (".<name>.tmp.<pid>.<n>"), or 0 when
// the name is not one the session's writes make.
pid_t writerOf(const std::string& name, const std::string& prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0) {
        return 0;
    }
    const char* const end = name.data() + name.size();
    pid_t pid = 0;
    const auto [afterPid, pidProblem] = std::from_chars(name.data() + prefix.size(), end, pid);
    if (pidProblem != std::errc() || pid <= 0 || afterPid == end || *afterPid != '.') {
        return 0;
    }
    unsigned long long number = 0;
    const auto [afterNumber, numberProblem] = std::from_chars(afterPid + 1, end, number);
    return numberProblem == std::errc() && afterNumber == end ? pid : 0;
}

// A temporary file is made and renamed under the lock, so one found while holding the lock
// belongs to a write that did not finish; it is left from one that was cut short once its
// writer no longer runs (a live one may be a process of the same id that took the number
// over: such a file waits for a later start).
void removeStaleTemporaryFiles(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string prefix = temporaryFilePrefix(target.filename().string());
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        const pid_t writer = writerOf(name, prefix);
        if (writer == 0 || ::kill(writer, 0) == 0 || errno != ESRCH) {
            continue;
        }
        std::error_code removeError;
        if (std::filesystem::remove(entry.path(), removeError)) {
            record("temporary file " + pathForTranscript(entry.path().string()) +
                   " of a write that was cut short removed");
        }
    }
}

// Reads the file and sets it aside when its content cannot be read or `check` refuses it; only
// under the lock (`mayMove`) is it moved, since another process may be replacing it otherwise.
// A file that cannot be read at the moment is left where it is: nothing may be written over it
// now, and the next change reads it again.
StoredFileRead readOrSetAside(const std::string& path, const std::string& what,
                              const StoredContentCheck& check, bool mayMove) {
    StoredFileRead result;
    PropertyListFile file = readPropertyListFile(path);
    if (file.status == PropertyListFile::Status::Missing) {
        return result;
    }
    const std::string shown = what + " " + pathForTranscript(path);
    if (file.status == PropertyListFile::Status::Unavailable) {
        result.writable = false;
        result.problem = pathForTranscript(path) + " cannot be read now (" + file.error +
                         "), so nothing is written over it";
        record(shown + " cannot be read now (" + file.error +
               "); it is left as it is and read again at the next change");
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
    // A fault on "moveUnreadableFileAside" stands for a folder that does not let it be moved.
    const std::optional<std::int32_t> fault =
        mayMove ? faultFor<"moveUnreadableFileAside">() : std::nullopt;
    if (mayMove && !fault && storedFileRename(path.c_str(), setAside.keptAs.c_str()) == 0) {
        record(shown + " is unreadable: " + reason + "; kept as " + fileName(setAside.keptAs));
        setAsideRecord().files.push_back(std::move(setAside));
        return result;
    }
    const std::string moveError =
        !mayMove ? std::string("its lock cannot be taken") : std::strerror(fault ? EACCES : errno);
    result.writable = false;
    result.problem = pathForTranscript(path) + " is unreadable (" + reason +
                     ") and cannot be moved aside (" + moveError + "); it is left as it is";
    record(shown + " is unreadable: " + reason + "; it cannot be moved aside (" + moveError +
           "), so it is left as it is and nothing is written there");
    std::vector<SetAsideFile>& files = setAsideRecord().files;
    const bool listed = std::any_of(files.begin(), files.end(), [&](const SetAsideFile& known) {
        return known.path == path && known.keptAs.empty();
    });
    if (!listed) {
        setAside.keptAs.clear();
        files.push_back(std::move(setAside));
    }
    return result;
}

}  // namespace

StoredFileRead readStoredPropertyList(const std::string& path, const std::string& what,
                                      const StoredContentCheck& check) {
    const StoredFileLock lock(path);
    if (lock.held()) {
        removeStaleTemporaryFiles(path);
    }
    return readOrSetAside(path, what, check, lock.held());
}

StoredFileUpdate updateStoredPropertyList(const std::string& path, const std::string& what,
                                          const StoredContentCheck& check,
                                          const StoredFileChange& change) {
    StoredFileUpdate update;
    const std::string shown = pathForTranscript(path);
    // The lock file needs the folder.
    if (storedFolderMake(std::filesystem::path(path).parent_path().string()) != 0) {
        update.error =
            shown + " cannot be written: its folder cannot be made: " + std::strerror(errno);
        return update;
    }
    // Without the lock another process could change the file between this read and this write,
    // and one of the two changes would be lost: nothing is written.
    const StoredFileLock lock(path);
    if (!lock.held()) {
        update.error = shown + " cannot be written: " + lock.problem();
        return update;
    }
    StoredFileRead read = readOrSetAside(path, what, check, true);
    if (!read.writable) {
        update.error = read.problem;
        return update;
    }
    std::string reason;
    RetainPtr<CFTypeRef> next = change(read.root.get(), &reason);
    if (!next) {
        update.error = std::move(reason);
        update.root = std::move(read.root);
        return update;
    }
    if (!writePropertyListFile(path, next.get(), &reason)) {
        update.error = shown + " cannot be written: " + reason;
        update.root = std::move(read.root);
        return update;
    }
    update.written = true;
    update.root = std::move(next);
    return update;
}

std::vector<SetAsideFile> setAsideFiles() {
    return setAsideRecord().files;
}

}  // namespace frameworks
