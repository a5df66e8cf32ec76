// A persistent preference domain: the values one application stored, kept in a property list
// in the home folder (<home>/Library/Preferences/<domain>.plist). It is read when first needed,
// and written atomically at every change, so that no stored value is lost and a later run with
// the same home folder sees it.
//
// Other processes may store values in the same domain meanwhile. A write changes only the keys
// this process changed: under the file's lock it reads what the file holds now, sets or removes
// those keys, and writes the result, which becomes what this process sees. Whichever process
// writes a key last wins for that key; no other key is touched.
#pragma once

#include <cstdint>
#include <string>

#include "Foundation/Foundation.h"
#include "RetainPtr.h"

namespace frameworks {

class PreferenceDomain {
public:
    explicit PreferenceDomain(std::string name) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }
    std::string filePath() const;

    // The stored value, borrowed: valid until the next change or until the domain is read
    // afresh.
    CFTypeRef valueForKey(CFStringRef key);
    // A copy of every stored value (+1 in the holder).
    RetainPtr<CFDictionaryRef> copyValues();

    struct Change {
        bool stored = false;  // the file holds the change
        std::string error;    // why not
    };
    // Sets (a property-list value, copied) or removes (null) a key and writes the file. A value
    // a property list cannot hold changes nothing. When the file cannot be written, the change
    // stays in memory if `keepUnstored` (and is written with the next change), or is undone.
    // Each change is reported in the transcript.
    Change setValue(CFStringRef key, CFTypeRef value, bool keepUnstored);

    // Writes what is not on the disk yet; otherwise forgets what was read, so that the next
    // question reads the file afresh. False, with the reason, when a write failed.
    bool synchronize(std::string* error);

    // Forgets everything read (the home folder changed or the session was reset).
    void forget();

private:
    NSMutableDictionary* values();
    // Writes the changes not yet in the file, merged with what the file holds now.
    bool write(std::string* error);

    std::string name_;
    RetainPtr<NSMutableDictionary*> values_;
    // The changes this process made that the file does not hold yet: key -> the value set, or
    // kCFNull for a key removed.
    RetainPtr<NSMutableDictionary*> unstored_;
    std::uint64_t generation_ = 0;  // the home folder generation values_ was read from
};

// The system's own domain (org.quenfold.Quenfold), shared by the standard user defaults and
// the session's control functions.
PreferenceDomain& applicationDomain();

// The values another application stored in its domain, as the home folder holds them now,
// or null when there are none or its file cannot be read (it is left as it is: it is not the
// session's to move). Names that are no plain file name are refused.
RetainPtr<CFDictionaryRef> copyStoredDomain(const std::string& name);

// A short text of a property-list value for the transcript: YES, NO, 3, 0.5, "text",
// 2020-01-01 00:00:00 +0000, {length = 2, bytes = 0x0001}, (…), {…}.
std::string describePreferenceValue(CFTypeRef value);

}  // namespace frameworks
