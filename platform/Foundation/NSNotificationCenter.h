// Notifications and the default notification centre. Observers are not retained.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSObject.h"

class NSNotification : public NSObject {
public:
    static NSNotification* notificationWithName(const NSString* name, id object);
    // +1, for the platform's own posts.
    static NSNotification* create(const NSString* name, id object);
    NSString* name() const { return name_; }
    id object() const { return object_; }
    ~NSNotification() override;

private:
    NSNotification(const NSString* name, id object);
    NSString* name_;
    id object_;  // retained
};

class NSNotificationCenter : public NSObject {
public:
    static NSNotificationCenter* defaultCenter();

    // `selector` is sent to `observer` for every notification of that name (any name when
    // nil) posted by that object (any object when nil).
    template <class T>
    void addObserver(T* observer, void (T::*selector)(NSNotification*), const NSString* name,
                     id object) {
        addObserverEntry(observer, name, object, [observer, selector](NSNotification* note) {
            (observer->*selector)(note);
        });
    }
    // Removes every registration of the observer.
    void removeObserver(id observer);
    // Removes the observer's registrations for that name (every name when nil) and that
    // object (every object when nil).
    void removeObserver(id observer, const NSString* name, id object);
    // Delivers at once, in order of registration, to every matching observer registered when
    // the post began and not removed meanwhile.
    void postNotification(NSNotification* notification);
    void postNotificationName(const NSString* name, id object);
    // A fresh session: every registration is forgotten.
    void removeAllObservers() { entries_.clear(); }

private:
    NSNotificationCenter() : NSObject(Immortal{}) {}
    void addObserverEntry(id observer, const NSString* name, id object,
                          std::function<void(NSNotification*)> call);

    struct Entry {
        id observer;
        bool anyName;
        std::u16string name;
        id object;
        std::function<void(NSNotification*)> call;
        std::uint64_t serial = 0;
    };
    std::vector<Entry> entries_;
    std::uint64_t nextSerial_ = 1;
};
