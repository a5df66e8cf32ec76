// Notifications and the default notification centre. Observers are not retained.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "CoreFoundation/CoreFoundation.h"

class NSNotification : public NSObject {
public:
    static NSNotification* notificationWithName(const NSString* name, id object);
    NSString* name() const { return name_; }
    id object() const { return object_; }
    ~NSNotification() override;

private:
    NSNotification(const NSString* name, id object);
    NSString* name_;
    id object_;
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
    void removeObserver(id observer);
    void postNotification(NSNotification* notification);
    void postNotificationName(const NSString* name, id object);

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
    };
    std::vector<Entry> entries_;
};
