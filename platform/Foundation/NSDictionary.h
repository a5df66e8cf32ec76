// Dictionaries keyed by object equality (CFEqual/CFHash). NSDictionary* and CFDictionaryRef
// (CoreFoundation/CFDictionary.h) name the same object. Keys and values each hold one
// reference; entries keep the order in which their keys were first set, so descriptions and
// property lists are stable. Lookups go through a hash index: each key's hash is computed once,
// when it is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
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

    NSUInteger count() const { return count_; }
    id objectForKey(CFTypeRef key) const;
    NSArray* allKeys() const;

    using Entry = std::pair<NSObject*, NSObject*>;
    // Iterates the entries in order, passing over the places of removed ones.
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = const Entry*;
        using reference = const Entry&;

        Iterator(const Entry* at, const Entry* end) : at_(at), end_(end) { skipRemoved(); }
        reference operator*() const { return *at_; }
        pointer operator->() const { return at_; }
        Iterator& operator++() {
            ++at_;
            skipRemoved();
            return *this;
        }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        void skipRemoved() {
            while (at_ != end_ && at_->first == nullptr) {
                ++at_;
            }
        }
        const Entry* at_;
        const Entry* end_;
    };
    Iterator begin() const { return {entries_.data(), entries_.data() + entries_.size()}; }
    Iterator end() const {
        return {entries_.data() + entries_.size(), entries_.data() + entries_.size()};
    }

    CFTypeID typeID() const override { return kCFDictionaryTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override { return count_; }
    NSString* description() const override;
    static Class class_() { return classOf<NSDictionary>("NSDictionary"); }

    ~NSDictionary() override;

protected:
    NSDictionary() = default;
    // The index in entries_ of the key's entry, or npos.
    std::size_t indexOfKey(CFTypeRef key) const;
    void set(CFTypeRef value, CFTypeRef key);
    void removeAt(std::size_t index);
    void removeAll();

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    // The slot holding the entry of the key with this hash, or the empty slot where it would go.
    std::size_t slotFor(CFTypeRef key, NSUInteger hash) const;
    // Makes the index afresh with room for twice the live entries.
    void rebuildIndex();
    // Drops the places of removed entries once they outnumber the live ones.
    void compactIfSparse();

    // In the order keys were first set; a removed entry stays as a pair of nulls until the
    // next compaction, so that removal keeps the order without moving every later entry.
    std::vector<Entry> entries_;
    std::vector<NSUInteger> hashes_;  // of the keys of entries_, computed once
    // The index: open addressing with linear probing over a power-of-two table at most half
    // full; a slot holds an index in entries_ plus one, or 0 when empty.
    std::vector<std::uint32_t> slots_;
    std::size_t count_ = 0;
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
