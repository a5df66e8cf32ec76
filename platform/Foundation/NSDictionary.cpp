#include "Foundation/NSDictionary.h"

#include <cstdio>
#include <cstdlib>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "TypeCastsCocoa.h"

NSDictionary::~NSDictionary() {
    for (auto& [key, value] : entries_) {
        key->release();
        value->release();
    }
}

std::size_t NSDictionary::indexOfKey(CFTypeRef key) const {
    if (key == nullptr) {
        return entries_.size();
    }
    const NSUInteger hash = key->hash();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].first->hash() == hash && CFEqual(entries_[i].first, key)) {
            return i;
        }
    }
    return entries_.size();
}

void NSDictionary::set(CFTypeRef value, CFTypeRef key) {
    if (key == nullptr || value == nullptr) {
        std::fprintf(stderr, "NSDictionary: attempt to insert nil %s\n", key ? "value" : "key");
        std::abort();
    }
    // A mutable string key would change under the dictionary: keep a copy instead.
    CFTypeRef storedKey = key;
    if (const NSMutableString* string = dynamic_objc_cast<NSMutableString>(key)) {
        storedKey = NSString::create(string->units());
    } else {
        key->retain();
    }
    value->retain();
    const std::size_t index = indexOfKey(storedKey);
    if (index < entries_.size()) {
        storedKey->release();
        entries_[index].second->release();
        entries_[index].second = const_cast<NSObject*>(value);
    } else {
        entries_.emplace_back(const_cast<NSObject*>(storedKey), const_cast<NSObject*>(value));
    }
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
    return index < entries_.size() ? entries_[index].second : nullptr;
}

NSArray* NSDictionary::allKeys() const {
    NSMutableArray* keys = NSMutableArray::arrayWithCapacity(entries_.size());
    for (const auto& entry : entries_) {
        keys->addObject(entry.first);
    }
    return keys;
}

bool NSDictionary::isEqual(const NSObject* other) const {
    const NSDictionary* dictionary = dynamic_objc_cast<NSDictionary>(other);
    if (dictionary == nullptr || dictionary->count() != count()) {
        return false;
    }
    for (const auto& [key, value] : entries_) {
        if (!CFEqual(dictionary->objectForKey(key), value)) {
            return false;
        }
    }
    return true;
}

NSString* NSDictionary::description() const {
    NSMutableString* text = NSMutableString::string();
    text->appendString(CFSTR("{"));
    for (const auto& [key, value] : entries_) {
        text->appendFormat("\n    %@ = %@;", key, value);
    }
    text->appendString(entries_.empty() ? CFSTR("}") : CFSTR("\n}"));
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
    if (index < entries_.size()) {
        const Entry removed = entries_[index];
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
        removed.first->release();
        removed.second->release();
    }
}

void NSMutableDictionary::removeAllObjects() {
    std::vector<Entry> removed;
    removed.swap(entries_);
    for (auto& [key, value] : removed) {
        key->release();
        value->release();
    }
}
