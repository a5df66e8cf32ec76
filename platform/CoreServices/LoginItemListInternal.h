// The user's login-item list as the session keeps it: an ordered list of entries, persisted in
// the home folder (<home>/Library/Preferences/com.apple.loginitems.plist) and written
// atomically at every change. Every list reference of Launch Services sees this one list.
//
// Other processes may change the list meanwhile. A change is made to the list the file holds
// now: under the file's lock the list is read afresh, the one insertion or removal applied and
// the result written; the process then sees the list as written, its entries keeping their ids.
//
// File format: a dictionary whose "LoginItems" array holds one dictionary per entry, in list
// order: "Name" (string), "URL" (the target's URL text), "Resolvable" (boolean; NO: the target
// lies on a volume that is not mounted), "Icon" (the path whose icon the entry shows; absent:
// none), "Properties" (dictionary). Keys the session does not know are kept as they are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Foundation/Foundation.h"
#include "RetainPtr.h"

namespace frameworks {

struct LoginItemRecord {
    std::uint32_t id = 0;  // unique for the life of the process
    std::u16string displayName;
    std::u16string url;
    bool resolvable = true;
    std::u16string iconPath;  // empty: no icon
    RetainPtr<CFDictionaryRef> properties;
    RetainPtr<CFDictionaryRef> unknownKeys;  // what the file held beyond the keys above
};

// Where an insertion goes: at the head, at the end, or after the entry with the id `after`.
struct LoginItemPosition {
    enum class Kind { First, Last, After };
    Kind kind = Kind::Last;
    std::uint32_t after = 0;
};

class LoginItemList {
public:
    // The entries in list order: empty when the file is missing or was set aside as unreadable.
    const std::vector<LoginItemRecord>& entries();
    // Changes with every change of the list.
    std::uint32_t seed();

    // What an insertion does when a resolvable entry for the same URL is listed already: add
    // another entry (as a program writing the file might), or move that entry to the place
    // asked for, with the new display name and icon, `entry`'s properties set over its own and
    // the keys of `propertiesToClear` removed (as Launch Services inserts).
    enum class WhenListed { AddAnother, Move };

    // Inserts into the list as the file holds it now and writes the file; the entry's id (the
    // listed entry's when it moved), or 0 with the reason when the entry to follow is no longer
    // listed or the file could not be written (nothing changes then).
    std::uint32_t insert(LoginItemPosition where, LoginItemRecord entry, std::string* error,
                         WhenListed whenListed = WhenListed::AddAnother,
                         CFArrayRef propertiesToClear = nullptr);
    // Removes the entry from the list as the file holds it now and writes the file. False when
    // it is not in the list (`error` empty: another process may have removed it) or when the
    // file could not be written (the list is then unchanged).
    bool remove(std::uint32_t id, std::string* error);
    std::string filePath() const;

    // Forgets everything read (a session reset).
    void forget();

private:
    void load();
    // The entries a file holds, with the ids of those this process knows already (matched in
    // order by content) and new ids for the others.
    std::vector<LoginItemRecord> withKnownIds(std::vector<LoginItemRecord> entries) const;
    // Takes the entries the file holds now as this process's view.
    void adopt(std::vector<LoginItemRecord> entries);

    std::vector<LoginItemRecord> entries_;
    std::uint64_t generation_ = 0;
    std::uint32_t seed_ = 1;
};

LoginItemList& loginItemList();

// The path a file URL text names (decoded, without a trailing slash), or empty when the text is
// no file URL.
std::string pathOfFileURL(const std::u16string& urlText);
// The URL text of a folder: "file://" + the encoded path + "/".
std::u16string folderURLText(const std::string& path);

}  // namespace frameworks
