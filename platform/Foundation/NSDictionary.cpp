#include "Foundation/NSDictionary.h"

#include <cstdio>
#include <cstdlib>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "TypeCastsCocoa.h"

NSDictionary::~NSDictionary() {
    for (auto& [key, value] : *this) {
        key->release();
        value->release();
    }
}

std::size_t NSDictionary::slotFor(CFTypeRef key, NSUInteger hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = slots_[slot];
        if (held == 0 || (hashes_[held - 1] == hash && CFEqual(entries_[held - 1].first, key))) {
            return slot;
        }
    }
}

std::size_t NSDictionary::indexOfKey(CFTypeRef key) const {
    if (key == nullptr || count_ == 0) {
        return npos;
    }
    const std::uint32_t held = slots_[slotFor(key, key->hash())];
    return held == 0 ? npos : held - 1;
}

void NSDictionary::set(CFTypeRef value, CFTypeRef key) {
    if (key == nullptr || value == nullptr) {
        std::fprintf(stderr, "NSDictionary: attempt to insert nil %s\n", key ? "value" : "key");
        std::abort();
    }
    value->retain();
    const std::size_t index = indexOfKey(key);
    if (index != npos) {
        entries_[index].second->release();
        entries_[index].second = const_cast<NSObject*>(value);
        return;
    }
    // A mutable string key would change under the dictionary: keep a copy instead.
    CFTypeRef storedKey = key;
    if (const NSMutableString* string = dynamic_objc_cast<NSMutableString>(key)) {
        storedKey = NSString::create(string->units());
    } else {
        key->retain();
    }
    const NSUInteger hash = storedKey->hash();
    entries_.emplace_back(const_cast<NSObject*>(storedKey), const_cast<NSObject*>(value));
    hashes_.push_back(hash);
    ++count_;
    if (count_ * 2 > slots_.size()) {
        rebuildIndex();
    } else {
        slots_[slotFor(storedKey, hash)] = static_cast<std::uint32_t>(entries_.size());
    }
}

void NSDictionary::removeAt(std::size_t index) {
    const Entry removed = entries_[index];
    // Takes the entry's slot out and moves later slots of the same run back into the hole, so
    // that every lookup still finds its key before an empty slot.
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = hashes_[index] & mask;
    while (slots_[hole] != index + 1) {
        hole = (hole + 1) & mask;
    }
    for (std::size_t next = (hole + 1) & mask; slots_[next] != 0; next = (next + 1) & mask) {
        const std::size_t home = hashes_[slots_[next] - 1] & mask;
        const bool homeInRun =
            hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (!homeInRun) {
            slots_[hole] = slots_[next];
            hole = next;
        }
    }
    slots_[hole] = 0;
    entries_[index] = Entry(nullptr, nullptr);
    --count_;
    compactIfSparse();
    removed.first->release();
    removed.second->release();
}

void NSDictionary::removeAll() {
    std::vector<Entry> removed;
    removed.swap(entries_);
    hashes_.clear();
    slots_.clear();
    count_ = 0;
    for (auto& [key, value] : removed) {
        if (key != nullptr) {
            key->release();
            value->release();
        }
    }
}

void NSDictionary::rebuildIndex() {
    std::size_t size = 8;
    while (size < count_ * 2 + 2) {
        size *= 2;
    }
    slots_.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        if (entries_[index].first == nullptr) {
            continue;
        }
        std::size_t slot = hashes_[index] & mask;
        while (slots_[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        slots_[slot] = static_cast<std::uint32_t>(index + 1);
    }
}

void NSDictionary::compactIfSparse() {
    if (entries_.size() - count_ <= count_) {
        return;
    }
    std::size_t next = 0;
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        if (entries_[index].first != nullptr) {
            entries_[next] = entries_[index];
            hashes_[next++] = hashes_[index];
        }
    }
    entries_.resize(next);
    hashes_.resize(next);
    rebuildIndex();
}

NSDictionary* NSDictionary::dictionary() {
    return autorelease(NSMutableDictionary::create());
}

NSDictionary* NSDictionary::dictionaryWithPairs(
    std::initializer_list<std::pair<CFTypeRef, CFTypeRef>> pairs) {
    NSMutableDictionary* result = NSMutableDictionary::dictionary();
    for (const auto& [key, value] : pairs) {
        result->setObject(value, key);
    }
    return result;
}

id NSDictionary::objectForKey(CFTypeRef key) const {
    const std::size_t index = indexOfKey(key);
    return index != npos ? entries_[index].second : nullptr;
}

NSArray* NSDictionary::allKeys() const {
    NSMutableArray* keys = NSMutableArray::arrayWithCapacity(count_);
    for (const auto& entry : *this) {
        keys->addObject(entry.first);
    }
    return keys;
}

bool NSDictionary::isEqual(const NSObject* other) const {
    const NSDictionary* dictionary = dynamic_objc_cast<NSDictionary>(other);
    if (dictionary == nullptr || dictionary->count() != count()) {
        return false;
    }
    for (const auto& [key, value] : *this) {
        if (!CFEqual(dictionary->objectForKey(key), value)) {
            return false;
        }
    }
    return true;
}

NSString* NSDictionary::description() const {
    NSMutableString* text = NSMutableString::string();
    text->appendString(CFSTR("{"));
    for (const auto& [key, value] : *this) {
        text->appendFormat("\n    %@ = %@;", key, value);
    }
    text->appendString(count_ == 0 ? CFSTR("}") : CFSTR("\n}"));
    return text;
}

NSMutableDictionary* NSMutableDictionary::create() {
    return new NSMutableDictionary();
}

NSMutableDictionary* NSMutableDictionary::dictionary() {
    return autorelease(create());
}

NSMutableDictionary* NSMutableDictionary::dictionaryWithDictionary(const NSDictionary* other) {
    NSMutableDictionary* result = dictionary();
    for (const auto& [key, value] : *other) {
        result->setObject(value, key);
    }
    return result;
}

void NSMutableDictionary::removeObjectForKey(CFTypeRef key) {
    const std::size_t index = indexOfKey(key);
    if (index != npos) {
        removeAt(index);
    }
}

void NSMutableDictionary::removeAllObjects() {
    removeAll();
}
