// Dictionaries keyed by object equality (CFEqual/CFHash). NSDictionary* and CFDictionaryRef
// (CoreFoundation/CFDictionary.h) name the same object. Keys and values each hold one
// reference; entries keep the order in which their keys were first set, so descriptions and
// property lists are stable.
#pragma once

#include <initializer_list>
#include <utility>
#include <vector>

#include "CoreFoundation/CFDictionary.h"
#include "Foundation/NSObject.h"

class NSArray;

class NSDictionary : public NSObject {
public:
    static NSDictionary* dictionary();
    // Pairs of key and value, as @{key: value, ...}.
    static NSDictionary* dictionaryWithPairs(
        std::initializer_list<std::pair<CFTypeRef, CFTypeRef>> pairs);

    NSUInteger count() const { return entries_.size(); }
    id objectForKey(CFTypeRef key) const;
    NSArray* allKeys() const;

    using Entry = std::pair<NSObject*, NSObject*>;
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

    CFTypeID typeID() const override { return kCFDictionaryTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override { return entries_.size(); }
    NSString* description() const override;
    static Class class_() { return classOf<NSDictionary>("NSDictionary"); }

    ~NSDictionary() override;

protected:
    NSDictionary() = default;
    std::size_t indexOfKey(CFTypeRef key) const;
    void set(CFTypeRef value, CFTypeRef key);

    std::vector<Entry> entries_;
};

class NSMutableDictionary : public NSDictionary {
public:
    static NSMutableDictionary* create();  // +1
    static NSMutableDictionary* dictionary();
    static NSMutableDictionary* dictionaryWithDictionary(const NSDictionary* other);

    // Value first, key second, as setObject:forKey:.
    void setObject(CFTypeRef object, CFTypeRef key) { set(object, key); }
    void removeObjectForKey(CFTypeRef key);
    void removeAllObjects();

    static Class class_() { return classOf<NSMutableDictionary>("NSMutableDictionary"); }
};
