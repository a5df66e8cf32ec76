// What the Objective-C runtime does by name, for the classes that register with it: selectors
// interned by name, making an object from its class name, filling an outlet by name, sending an
// action selector to a target, and the class's initialize, sent once before its first instance
// is made. Interface files use it to build and connect their objects.
//
// A class registers once, at static initialisation, in its own source file:
//
//     [[maybe_unused]] const auto registration =
//         RuntimeClassRegistration<MyController>("MyController")
//             .initialize(&MyController::initialize)
//             .outlet("window", &MyController::setWindow)   // a setter, or
//             .outlet("field", &MyController::field)        // an instance variable
//             .action("save:", &MyController::save)         // void save(id sender)
//             .awakeFromNib(&MyController::awakeFromNib);
//
// Instances are made with `new T()`; a class is found for an object by its exact dynamic type.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSObject.h"
#include "TypeCastsCocoa.h"

// A selector: an interned method name such as "changeSetting:". Equal names give equal SELs.
struct objc_selector;
using SEL = const objc_selector*;

SEL sel_registerName(const char* name);
const char* sel_getName(SEL selector);
SEL NSSelectorFromString(const NSString* name);
// The selector's name (autoreleased).
NSString* NSStringFromSelector(SEL selector);

// One class that can be made and connected by name.
class RuntimeClass {
public:
    using Outlet = std::function<bool(NSObject* object, id value, std::string* error)>;
    using Action = std::function<void(NSObject* target, id sender)>;

    RuntimeClass(std::string name, std::function<NSObject*()> make)
        : name_(std::move(name)), make_(std::move(make)) {}

    const std::string& name() const { return name_; }

    // A new instance (+1). The class's initialize is sent first if it has not been sent since
    // the session started: every session is a fresh process.
    NSObject* createInstance() const;
    bool isInitialized() const { return initialized_; }

    bool respondsToSelector(SEL selector) const;
    bool hasOutlet(std::string_view name) const;
    // Fills the outlet of `object`; false, with the reason, when the class has no such outlet
    // or `value` is not of the outlet's type. Outlets do not retain.
    bool setOutlet(NSObject* object, std::string_view name, id value, std::string* error) const;
    // Sends `selector` with `sender` to `target`; false when the class does not respond to it.
    bool sendAction(NSObject* target, SEL selector, id sender) const;
    // Sends awakeFromNib when the class implements it.
    void awakeFromNib(NSObject* object) const;

    // Registration (RuntimeClassRegistration uses these).
    void setInitialize(std::function<void()> initialize) { initialize_ = std::move(initialize); }
    void addOutlet(std::string name, Outlet outlet);
    void addAction(SEL selector, Action action);
    void setAwakeFromNib(std::function<void(NSObject*)> awake) { awake_ = std::move(awake); }
    void forgetInitialization() { initialized_ = false; }

private:
    std::string name_;
    std::function<NSObject*()> make_;
    std::function<void()> initialize_;
    std::map<std::string, Outlet, std::less<>> outlets_;
    std::map<SEL, Action> actions_;
    std::function<void(NSObject*)> awake_;
    mutable bool initialized_ = false;
};

// The registered class of that name, or nil.
const RuntimeClass* runtimeClassNamed(std::string_view name);
// The registered class of the object's exact dynamic type, or nil.
const RuntimeClass* runtimeClassOf(const NSObject* object);
// Sends `selector` to `target` through its registered class; false when the target is nil,
// its class is not registered or does not respond to the selector.
bool sendActionToTarget(SEL selector, id target, id sender);

// Registers a class and the class's own type.
RuntimeClass& registerRuntimeClass(std::string name, const std::type_info& type,
                                   std::function<NSObject*()> make);

template <class T>
class RuntimeClassRegistration {
public:
    explicit RuntimeClassRegistration(const char* name)
        : class_(&registerRuntimeClass(name, typeid(T), [] { return new T(); })) {}

    RuntimeClassRegistration& initialize(void (*initialize)()) {
        class_->setInitialize(initialize);
        return *this;
    }

    // An outlet filled through a setter taking a U*.
    template <class U>
    RuntimeClassRegistration& outlet(const char* name, void (T::*setter)(U*)) {
        class_->addOutlet(name, [setter](NSObject* object, id value, std::string* error) {
            U* typed = checkedValue<U>(value, error);
            if (value != nullptr && typed == nullptr) {
                return false;
            }
            (static_cast<T*>(object)->*setter)(typed);
            return true;
        });
        return *this;
    }

    // An outlet that is an instance variable of type U*.
    template <class U>
    RuntimeClassRegistration& outlet(const char* name, U* T::*variable) {
        class_->addOutlet(name, [variable](NSObject* object, id value, std::string* error) {
            U* typed = checkedValue<U>(value, error);
            if (value != nullptr && typed == nullptr) {
                return false;
            }
            static_cast<T*>(object)->*variable = typed;
            return true;
        });
        return *this;
    }

    // An action method: `selector` ("name:") sends method(sender).
    RuntimeClassRegistration& action(const char* selector, void (T::*method)(id)) {
        const std::string_view name(selector);
        if (name.empty() || name.back() != ':' || name.find(':') != name.size() - 1) {
            std::fprintf(stderr, "runtime: action selector \"%s\" must take one argument\n",
                         selector);
            std::abort();
        }
        class_->addAction(sel_registerName(selector), [method](NSObject* target, id sender) {
            (static_cast<T*>(target)->*method)(sender);
        });
        return *this;
    }

    RuntimeClassRegistration& awakeFromNib(void (T::*method)()) {
        class_->setAwakeFromNib(
            [method](NSObject* object) { (static_cast<T*>(object)->*method)(); });
        return *this;
    }

private:
    template <class U>
    static U* checkedValue(id value, std::string* error) {
        U* typed = dynamic_objc_cast<U>(value);
        if (value != nullptr && typed == nullptr && error != nullptr) {
            *error = std::string("takes ") + U::class_()->name + ", not " + value->className();
        }
        return typed;
    }

    RuntimeClass* class_;
};
