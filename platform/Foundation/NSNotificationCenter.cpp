#include "Foundation/NSNotificationCenter.h"

#include <algorithm>
#include <utility>

#include "Foundation/FoundationInternal.h"
#include "Foundation/NSString.h"
#include "RetainPtr.h"

void _NSNotificationCenterReset() {
    NSNotificationCenter::defaultCenter()->removeAllObservers();
}

NSNotification::NSNotification(const NSString* name, id object)
    : name_(name != nullptr ? NSString::create(name->units()) : nullptr),
      object_(object != nullptr ? object->retain() : nullptr) {}

NSNotification::~NSNotification() {
    if (name_ != nullptr) {
        name_->release();
    }
    if (object_ != nullptr) {
        object_->release();
    }
}

NSNotification* NSNotification::create(const NSString* name, id object) {
    return new NSNotification(name, object);
}

NSNotification* NSNotification::notificationWithName(const NSString* name, id object) {
    return autorelease(create(name, object));
}

NSNotificationCenter* NSNotificationCenter::defaultCenter() {
    static NSNotificationCenter* const center = new NSNotificationCenter();
    return center;
}

void NSNotificationCenter::addObserverEntry(id observer, const NSString* name, id object,
                                            std::function<void(NSNotification*)> call) {
    if (observer == nullptr || !call) {
        return;
    }
    entries_.push_back(Entry{observer, name == nullptr, name ? name->units() : std::u16string(),
                             object, std::move(call), nextSerial_++});
}

void NSNotificationCenter::removeObserver(id observer) {
    removeObserver(observer, nullptr, nullptr);
}

void NSNotificationCenter::removeObserver(id observer, const NSString* name, id object) {
    std::erase_if(entries_, [&](const Entry& entry) {
        return entry.observer == observer &&
               (name == nullptr || (!entry.anyName && entry.name == name->units())) &&
               (object == nullptr || entry.object == object);
    });
}

void NSNotificationCenter::postNotification(NSNotification* notification) {
    if (notification == nullptr) {
        return;
    }
    // Observers may register or remove themselves and others while being told; each one
    // registered at the start is told unless it was removed meanwhile.
    const RetainPtr<NSNotification*> kept = retainPtr(notification);
    const NSString* name = notification->name();
    std::vector<std::pair<std::uint64_t, std::function<void(NSNotification*)>>> matching;
    for (const Entry& entry : entries_) {
        const bool nameMatches = entry.anyName || (name != nullptr && entry.name == name->units());
        const bool objectMatches =
            entry.object == nullptr || entry.object == notification->object();
        if (nameMatches && objectMatches) {
            matching.emplace_back(entry.serial, entry.call);
        }
    }
    for (const auto& [serial, call] : matching) {
        const bool stillRegistered =
            std::any_of(entries_.begin(), entries_.end(),
                        [serial = serial](const Entry& entry) { return entry.serial == serial; });
        if (stillRegistered) {
            call(notification);
        }
    }
}

void NSNotificationCenter::postNotificationName(const NSString* name, id object) {
    const RetainPtr<NSNotification*> notification = adoptCF(NSNotification::create(name, object));
    postNotification(notification.get());
}
