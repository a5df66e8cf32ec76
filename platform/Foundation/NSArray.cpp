#include "Foundation/NSArray.h"

#include <cstdio>
#include <cstdlib>

#include "Foundation/NSString.h"
#include "TypeCastsCocoa.h"

namespace {

[[noreturn]] void rangeError(const char* operation, NSUInteger index, NSUInteger count) {
    std::fprintf(stderr, "NSArray %s: index %lu beyond bounds [0 .. %ld]\n", operation, index,
                 static_cast<long>(count) - 1);
    std::abort();
}

NSObject* checkedElement(CFTypeRef object) {
    if (object == nullptr) {
        std::fprintf(stderr, "NSArray: attempt to insert nil object\n");
        std::abort();
    }
    return object->retain();
}

}  // namespace

NSArray::~NSArray() {
    for (NSObject* object : objects_) {
        object->release();
    }
}

void NSArray::append(CFTypeRef object) {
    objects_.push_back(checkedElement(object));
}

NSArray* NSArray::create(const std::vector<CFTypeRef>& objects) {
    auto* array = new NSArray();
    array->objects_.reserve(objects.size());
    for (CFTypeRef object : objects) {
        array->append(object);
    }
    return array;
}

NSArray* NSArray::array() {
    return autorelease(create({}));
}

NSArray* NSArray::arrayWithObjects(std::initializer_list<CFTypeRef> objects) {
    return autorelease(create(std::vector<CFTypeRef>(objects)));
}

NSArray* NSArray::arrayWithArray(const NSArray* other) {
    return autorelease(
        create(std::vector<CFTypeRef>(other->objects_.begin(), other->objects_.end())));
}

id NSArray::objectAtIndex(NSUInteger index) const {
    if (index >= objects_.size()) {
        rangeError("objectAtIndex:", index, objects_.size());
    }
    return objects_[index];
}

bool NSArray::containsObject(CFTypeRef object) const {
    return indexOfObject(object) != NSNotFound;
}

NSUInteger NSArray::indexOfObject(CFTypeRef object) const {
    for (NSUInteger i = 0; i < objects_.size(); ++i) {
        if (CFEqual(objects_[i], object)) {
            return i;
        }
    }
    return NSNotFound;
}

bool NSArray::isEqual(const NSObject* other) const {
    const NSArray* array = dynamic_objc_cast<NSArray>(other);
    if (array == nullptr || array->objects_.size() != objects_.size()) {
        return false;
    }
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        if (!CFEqual(objects_[i], array->objects_[i])) {
            return false;
        }
    }
    return true;
}

NSString* NSArray::description() const {
    NSMutableString* text = NSMutableString::string();
    text->appendString(CFSTR("("));
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        text->appendFormat(i == 0 ? "\n    %@" : ",\n    %@", objects_[i]);
    }
    text->appendString(objects_.empty() ? CFSTR(")") : CFSTR("\n)"));
    return text;
}

NSMutableArray* NSMutableArray::create(NSUInteger capacity) {
    auto* array = new NSMutableArray();
    array->objects_.reserve(capacity);
    return array;
}

NSMutableArray* NSMutableArray::array() {
    return autorelease(create());
}

NSMutableArray* NSMutableArray::arrayWithCapacity(NSUInteger capacity) {
    return autorelease(create(capacity));
}

void NSMutableArray::insertObject(CFTypeRef object, NSUInteger index) {
    if (index > objects_.size()) {
        rangeError("insertObject:atIndex:", index, objects_.size());
    }
    objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), checkedElement(object));
}

void NSMutableArray::removeObjectAtIndex(NSUInteger index) {
    if (index >= objects_.size()) {
        rangeError("removeObjectAtIndex:", index, objects_.size());
    }
    NSObject* removed = objects_[index];
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
    removed->release();
}

void NSMutableArray::removeAllObjects() {
    std::vector<NSObject*> removed;
    removed.swap(objects_);
    for (NSObject* object : removed) {
        object->release();
    }
}

void NSMutableArray::replaceObjectAtIndex(NSUInteger index, CFTypeRef object) {
    if (index >= objects_.size()) {
        rangeError("replaceObjectAtIndex:withObject:", index, objects_.size());
    }
    NSObject* replaced = objects_[index];
    objects_[index] = checkedElement(object);
    replaced->release();
}
