// Arrays of objects. NSArray* and CFArrayRef (CoreFoundation/CFArray.h) name the same object;
// every element holds one reference. Inserting a null element is a programming error, as on
// macOS (use NSNull).
#pragma once

#include <initializer_list>
#include <vector>

#include "CoreFoundation/CFArray.h"
#include "Foundation/NSObject.h"

class NSArray : public NSObject {
public:
    static NSArray* create(const std::vector<CFTypeRef>& objects);  // +1

    static NSArray* array();
    static NSArray* arrayWithObjects(std::initializer_list<CFTypeRef> objects);
    static NSArray* arrayWithArray(const NSArray* other);

    NSUInteger count() const { return objects_.size(); }
    // Aborts on an index out of range, as the range exception would end the process.
    id objectAtIndex(NSUInteger index) const;
    id firstObject() const { return objects_.empty() ? nullptr : objects_.front(); }
    id lastObject() const { return objects_.empty() ? nullptr : objects_.back(); }
    bool containsObject(CFTypeRef object) const;
    NSUInteger indexOfObject(CFTypeRef object) const;

    auto begin() const { return objects_.begin(); }
    auto end() const { return objects_.end(); }

    CFTypeID typeID() const override { return kCFArrayTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override { return objects_.size(); }
    NSString* description() const override;
    static Class class_() { return classOf<NSArray>("NSArray"); }

    ~NSArray() override;

protected:
    NSArray() = default;
    void append(CFTypeRef object);

    std::vector<NSObject*> objects_;
};

class NSMutableArray : public NSArray {
public:
    static NSMutableArray* create(NSUInteger capacity = 0);  // +1
    static NSMutableArray* array();
    static NSMutableArray* arrayWithCapacity(NSUInteger capacity);

    void addObject(CFTypeRef object) { append(object); }
    void insertObject(CFTypeRef object, NSUInteger index);
    void removeObjectAtIndex(NSUInteger index);
    void removeAllObjects();
    void replaceObjectAtIndex(NSUInteger index, CFTypeRef object);

    static Class class_() { return classOf<NSMutableArray>("NSMutableArray"); }
};
