#include "CoreServices/LoginItemListInternal.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/CFStringInternal.h"
#include "CoreFoundation/StoredPropertyListInternal.h"
#include "Foundation/Foundation.h"
#include "TypeCastsCF.h"
#include "sim/Desktop.h"
#include "sim/HomeFolder.h"
#include "sim/Transcript.h"

namespace frameworks {

using namespace sim;
namespace {

std::uint32_t gNextItemID = 1;

CFStringRef keyLoginItems() {
    return CFSTR("LoginItems");
}
CFStringRef keyName() {
    return CFSTR("Name");
}
CFStringRef keyURL() {
    return CFSTR("URL");
}
CFStringRef keyResolvable() {
    return CFSTR("Resolvable");
}
CFStringRef keyIcon() {
    return CFSTR("Icon");
}
CFStringRef keyProperties() {
    return CFSTR("Properties");
}

bool isKnownEntryKey(CFTypeRef key) {
    for (CFStringRef known : {keyName(), keyURL(), keyResolvable(), keyIcon(), keyProperties()}) {
        if (CFEqual(key, known)) {
            return true;
        }
    }
    return false;
}

// A value that may be missing: true when it is missing or of the type asked for, with `typed`
// set to it (null when missing).
template <class Ref>
bool optionalValue(CFTypeRef value, Ref* typed) {
    *typed = dynamic_cf_cast<Ref>(value);
    return value == nullptr || *typed != nullptr;
}

// Reads one entry; false, with the reason, when it is not an entry the session can keep.
bool entryFromDictionary(CFTypeRef object, std::size_t index, LoginItemRecord* record,
                         std::string* reason) {
    const std::string where = "entry " + std::to_string(index + 1);
    CFDictionaryRef entry = dynamic_cf_cast<CFDictionaryRef>(object);
    if (entry == nullptr) {
        *reason = where + " is not a dictionary";
        return false;
    }
    CFStringRef url = dynamic_cf_cast<CFStringRef>(entry->objectForKey(keyURL()));
    if (url == nullptr || url->length() == 0) {
        *reason = where + " has no URL";
        return false;
    }
    record->url = url->units();

    CFStringRef name = nullptr;
    if (!optionalValue(entry->objectForKey(keyName()), &name)) {
        *reason = where + " has a name that is not a string";
        return false;
    }
    CFBooleanRef resolvable = nullptr;
    if (!optionalValue(entry->objectForKey(keyResolvable()), &resolvable)) {
        *reason = where + " has a Resolvable value that is not a boolean";
        return false;
    }
    CFStringRef icon = nullptr;
    if (!optionalValue(entry->objectForKey(keyIcon()), &icon)) {
        *reason = where + " has an icon that is not a path";
        return false;
    }
    CFDictionaryRef properties = nullptr;
    if (!optionalValue(entry->objectForKey(keyProperties()), &properties)) {
        *reason = where + " has properties that are not a dictionary";
        return false;
    }

    record->displayName = name != nullptr ? name->units() : std::u16string();
    record->resolvable = resolvable == nullptr || CFBooleanGetValue(resolvable);
    record->iconPath = icon != nullptr ? icon->units() : std::u16string();
    record->properties = retainPtr(properties);
    RetainPtr<NSMutableDictionary*> unknown = adoptCF(NSMutableDictionary::create());
    for (const auto& [key, value] : *entry) {
        if (!isKnownEntryKey(key)) {
            unknown->setObject(value, key);
        }
    }
    if (unknown->count() > 0) {
        record->unknownKeys = RetainPtr<CFDictionaryRef>(std::move(unknown));
    }
    return true;
}

bool checkLoginItemFile(CFTypeRef root, std::string* reason) {
    CFDictionaryRef file = dynamic_cf_cast<CFDictionaryRef>(root);
    if (file == nullptr) {
        *reason = "it holds no dictionary";
        return false;
    }
    CFArrayRef items = nullptr;
    if (!optionalValue(file->objectForKey(keyLoginItems()), &items)) {
        *reason = "its LoginItems value is not a list";
        return false;
    }
    if (items != nullptr) {
        std::size_t index = 0;
        for (const NSObject* element : *items) {
            LoginItemRecord ignored;
            if (!entryFromDictionary(element, index++, &ignored, reason)) {
                return false;
            }
        }
    }
    return true;
}

RetainPtr<CFDictionaryRef> dictionaryFromEntry(const LoginItemRecord& record) {
    RetainPtr<NSMutableDictionary*> entry = adoptCF(NSMutableDictionary::create());
    if (record.unknownKeys) {
        for (const auto& [key, value] : *record.unknownKeys.get()) {
            entry->setObject(value, key);
        }
    }
    const RetainPtr<CFStringRef> name = adoptCF<CFStringRef>(NSString::create(record.displayName));
    const RetainPtr<CFStringRef> url = adoptCF<CFStringRef>(NSString::create(record.url));
    entry->setObject(name.get(), keyName());
    entry->setObject(url.get(), keyURL());
    entry->setObject(record.resolvable ? kCFBooleanTrue : kCFBooleanFalse, keyResolvable());
    if (!record.iconPath.empty()) {
        const RetainPtr<CFStringRef> icon = adoptCF<CFStringRef>(NSString::create(record.iconPath));
        entry->setObject(icon.get(), keyIcon());
    }
    if (record.properties) {
        entry->setObject(record.properties.get(), keyProperties());
    }
    return RetainPtr<CFDictionaryRef>(std::move(entry));
}

// Records compare by everything the file holds of them.
bool sameContent(const LoginItemRecord& a, const LoginItemRecord& b) {
    const auto same = [](CFTypeRef x, CFTypeRef y) { return x == y || CFEqual(x, y); };
    return a.url == b.url && a.displayName == b.displayName && a.resolvable == b.resolvable &&
           a.iconPath == b.iconPath && same(a.properties.get(), b.properties.get()) &&
           same(a.unknownKeys.get(), b.unknownKeys.get());
}

// The properties of an entry that moves: `toSet` over its own, then without the keys of
// `toClear`; null when none are left.
RetainPtr<CFDictionaryRef> mergedProperties(CFDictionaryRef own, CFDictionaryRef toSet,
                                            CFArrayRef toClear) {
    RetainPtr<NSMutableDictionary*> merged = adoptCF(NSMutableDictionary::create());
    for (CFDictionaryRef source : {own, toSet}) {
        if (source == nullptr) {
            continue;
        }
        for (const auto& entry : *source) {
            merged->setObject(entry.second, entry.first);
        }
    }
    for (NSUInteger i = 0; toClear != nullptr && i < toClear->count(); ++i) {
        merged->removeObjectForKey(toClear->objectAtIndex(i));
    }
    if (merged->count() == 0) {
        return nullptr;
    }
    return RetainPtr<CFDictionaryRef>(std::move(merged));
}

// What a file that checkLoginItemFile accepted holds (nothing for none): its entries, without
// ids, and its other top-level keys.
struct ListContent {
    std::vector<LoginItemRecord> entries;
    RetainPtr<CFDictionaryRef> others;
};

ListContent contentOf(CFTypeRef root) {
    ListContent content;
    if (root == nullptr) {
        return content;
    }
    const auto* dictionary = static_cast<const NSDictionary*>(root);
    RetainPtr<NSMutableDictionary*> others = adoptCF(NSMutableDictionary::create());
    for (const auto& [key, value] : *dictionary) {
        if (!CFEqual(key, keyLoginItems())) {
            others->setObject(value, key);
        }
    }
    content.others = RetainPtr<CFDictionaryRef>(std::move(others));
    if (const auto* items =
            static_cast<const NSArray*>(dictionary->objectForKey(keyLoginItems()))) {
        std::size_t index = 0;
        for (const NSObject* element : *items) {
            LoginItemRecord record;
            std::string ignored;  // checked whole when read
            entryFromDictionary(element, index++, &record, &ignored);
            content.entries.push_back(std::move(record));
        }
    }
    return content;
}

RetainPtr<CFTypeRef> rootOf(const std::vector<LoginItemRecord>& entries, CFDictionaryRef others) {
    RetainPtr<NSMutableDictionary*> root = adoptCF(NSMutableDictionary::create());
    if (others != nullptr) {
        for (const auto& [key, value] : *others) {
            root->setObject(value, key);
        }
    }
    RetainPtr<NSMutableArray*> items = adoptCF(NSMutableArray::create());
    for (const LoginItemRecord& record : entries) {
        items->addObject(dictionaryFromEntry(record).get());
    }
    root->setObject(items.get(), keyLoginItems());
    return RetainPtr<CFTypeRef>(std::move(root));
}

}  // namespace

std::string LoginItemList::filePath() const {
    return preferencesFilePath("com.apple.loginitems.plist");
}

void LoginItemList::load() {
    if (generation_ == homeFolderGeneration()) {
        return;
    }
    forget();
    generation_ = homeFolderGeneration();
    StoredFileRead read = readStoredPropertyList(filePath(), "login-item list", checkLoginItemFile);
    ListContent content = contentOf(read.root.get());
    adopt(withKnownIds(std::move(content.entries)));
}

std::vector<LoginItemRecord> LoginItemList::withKnownIds(
    std::vector<LoginItemRecord> entries) const {
    // The entries known, by URL, in list order; each is matched once.
    std::unordered_map<std::u16string, std::vector<const LoginItemRecord*>> known;
    for (const LoginItemRecord& record : entries_) {
        known[record.url].push_back(&record);
    }
    for (LoginItemRecord& record : entries) {
        record.id = 0;
        auto found = known.find(record.url);
        if (found != known.end()) {
            std::vector<const LoginItemRecord*>& candidates = found->second;
            const auto match =
                std::find_if(candidates.begin(), candidates.end(), [&](const LoginItemRecord* old) {
                    return old != nullptr && sameContent(*old, record);
                });
            if (match != candidates.end()) {
                record.id = (*match)->id;
                *match = nullptr;
            }
        }
        if (record.id == 0) {
            record.id = gNextItemID++;
        }
    }
    return entries;
}

void LoginItemList::adopt(std::vector<LoginItemRecord> entries) {
    const bool changed = !std::equal(
        entries.begin(), entries.end(), entries_.begin(), entries_.end(),
        [](const LoginItemRecord& a, const LoginItemRecord& b) { return a.id == b.id; });
    entries_ = std::move(entries);
    if (changed) {
        ++seed_;
    }
}

const std::vector<LoginItemRecord>& LoginItemList::entries() {
    load();
    return entries_;
}

std::uint32_t LoginItemList::seed() {
    load();
    return seed_;
}

std::uint32_t LoginItemList::insert(LoginItemPosition where, LoginItemRecord entry,
                                    std::string* error, WhenListed whenListed,
                                    CFArrayRef propertiesToClear) {
    load();
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    const std::string name = "login item \"" + utf8FromUTF16(entry.displayName) + "\"";
    const std::uint32_t freshId = gNextItemID++;
    // The list as the file held it, when the change was made to it.
    std::optional<ListContent> seen;
    bool refused = false;
    bool moved = false;
    std::vector<LoginItemRecord> changed;
    std::size_t index = 0;
    const StoredFileUpdate update = updateStoredPropertyList(
        filePath(), "login-item list", checkLoginItemFile,
        [&](CFTypeRef current, std::string* refusal) -> RetainPtr<CFTypeRef> {
            ListContent content = contentOf(current);
            content.entries = withKnownIds(std::move(content.entries));
            seen = content;
            changed = std::move(content.entries);
            LoginItemRecord placed = entry;
            placed.id = freshId;
            std::optional<std::size_t> listedAt;
            if (whenListed == WhenListed::Move) {
                const auto listed =
                    std::find_if(changed.begin(), changed.end(), [&](const LoginItemRecord& item) {
                        return item.resolvable && item.url == entry.url;
                    });
                if (listed != changed.end()) {
                    listedAt = static_cast<std::size_t>(listed - changed.begin());
                    placed.id = listed->id;
                    placed.unknownKeys = listed->unknownKeys;
                    placed.properties = mergedProperties(listed->properties.get(),
                                                         entry.properties.get(), propertiesToClear);
                    changed.erase(listed);
                }
            }
            moved = listedAt.has_value();
            index = where.kind == LoginItemPosition::Kind::First ? 0 : changed.size();
            if (where.kind == LoginItemPosition::Kind::After) {
                const auto after = std::find_if(
                    changed.begin(), changed.end(),
                    [&](const LoginItemRecord& item) { return item.id == where.after; });
                if (listedAt && where.after == placed.id) {
                    index = *listedAt;  // after itself: it stays where it is
                } else if (after == changed.end()) {
                    *refusal = "the entry it was to follow is no longer in the list";
                    refused = true;
                    return nullptr;
                } else {
                    index = static_cast<std::size_t>(after - changed.begin()) + 1;
                }
            }
            changed.insert(changed.begin() + static_cast<std::ptrdiff_t>(index), placed);
            return rootOf(changed, content.others.get());
        });
    if (!update.written) {
        if (refused) {
            adopt(std::move(seen->entries));
        }
        reason = update.error;
        record(name + (moved ? " not moved: " : " not added: ") + reason);
        return 0;
    }
    const std::uint32_t id = changed[index].id;
    adopt(std::move(changed));
    record(name + (moved ? " moved to position " : " added at position ") +
           std::to_string(index + 1) + " of " + std::to_string(entries_.size()));
    return id;
}

bool LoginItemList::remove(std::uint32_t id, std::string* error) {
    load();
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    reason.clear();
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [id](const LoginItemRecord& entry) { return entry.id == id; });
    if (found == entries_.end()) {
        return false;
    }
    const std::string name = "login item \"" + utf8FromUTF16(found->displayName) + "\"";
    std::optional<ListContent> seen;
    bool refused = false;
    std::vector<LoginItemRecord> changed;
    const StoredFileUpdate update = updateStoredPropertyList(
        filePath(), "login-item list", checkLoginItemFile,
        [&](CFTypeRef current, std::string*) -> RetainPtr<CFTypeRef> {
            ListContent content = contentOf(current);
            content.entries = withKnownIds(std::move(content.entries));
            seen = content;
            changed = std::move(content.entries);
            const auto gone =
                std::find_if(changed.begin(), changed.end(),
                             [id](const LoginItemRecord& item) { return item.id == id; });
            if (gone != changed.end()) {
                changed.erase(gone);
            } else if (current != nullptr) {
                refused = true;  // removed by another process already: nothing to write
                return nullptr;
            }
            // With no file at all, an empty list is written: the entry is gone either way.
            return rootOf(changed, content.others.get());
        });
    if (!update.written) {
        if (refused) {
            adopt(std::move(seen->entries));
        }
        reason = update.error;
        if (!reason.empty()) {
            record(name + " not removed: " + reason);
        }
        return false;
    }
    adopt(std::move(changed));
    record(name + " removed");
    return true;
}

void LoginItemList::forget() {
    entries_.clear();
    generation_ = 0;
}

LoginItemList& loginItemList() {
    static LoginItemList list;
    return list;
}

std::string pathOfFileURL(const std::u16string& urlText) {
    const std::string text = utf8FromUTF16(urlText);
    if (text.rfind("file://", 0) != 0) {
        return {};
    }
    NSAutoreleasePool pool;
    const RetainPtr<CFURLRef> url = adoptCF(CFURLCreateWithString(
        kCFAllocatorDefault, NSString::stringWithUTF8String(text.c_str()), nullptr));
    return url ? url->path()->utf8() : std::string();
}

std::u16string folderURLText(const std::string& path) {
    NSAutoreleasePool pool;
    const RetainPtr<CFURLRef> url = adoptCF(CFURLCreateWithFileSystemPath(
        kCFAllocatorDefault, NSString::stringWithUTF8String(path.c_str()), kCFURLPOSIXPathStyle,
        true));
    return url->absoluteString()->units();
}

}  // namespace frameworks
