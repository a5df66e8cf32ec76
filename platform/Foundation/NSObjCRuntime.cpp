#include "Foundation/NSObjCRuntime.h"

#include <memory>
#include <unordered_map>
#include <utility>

#include "Foundation/FoundationInternal.h"
#include "Foundation/NSString.h"

struct objc_selector {
    std::string name;
};

namespace {

struct Registry {
    std::map<std::string, std::unique_ptr<RuntimeClass>, std::less<>> byName;
    std::unordered_map<std::type_index, RuntimeClass*> byType;
    // The image each class came with (0: the program itself), and the image being loaded now.
    std::unordered_map<const RuntimeClass*, int> imageOf;
    int loadingImage = 0;
    int lastImage = 0;
};

// Function-local statics: classes register during static initialisation, in any order.
Registry& registry() {
    static Registry instance;
    return instance;
}

std::map<std::string, std::unique_ptr<objc_selector>, std::less<>>& selectors() {
    static std::map<std::string, std::unique_ptr<objc_selector>, std::less<>> instance;
    return instance;
}

}  // namespace

// Every session is a fresh process: no class has been initialized in it yet.
void _NSRuntimeReset() {
    for (auto& [name, cls] : registry().byName) {
        cls->forgetInitialization();
    }
}

void _NSRuntimeBeginImage() {
    Registry& table = registry();
    table.loadingImage = ++table.lastImage;
}

int _NSRuntimeEndImage() {
    return std::exchange(registry().loadingImage, 0);
}

void _NSRuntimeForgetImage(int image) {
    Registry& table = registry();
    std::erase_if(table.byType, [&](const auto& entry) {
        auto found = table.imageOf.find(entry.second);
        return found != table.imageOf.end() && found->second == image;
    });
    std::erase_if(table.byName, [&](const auto& entry) {
        auto found = table.imageOf.find(entry.second.get());
        if (found == table.imageOf.end() || found->second != image) {
            return false;
        }
        table.imageOf.erase(found);
        return true;
    });
}

SEL sel_registerName(const char* name) {
    auto& table = selectors();
    auto found = table.find(std::string_view(name));
    if (found == table.end()) {
        found = table.emplace(name, std::make_unique<objc_selector>(objc_selector{name})).first;
    }
    return found->second.get();
}

const char* sel_getName(SEL selector) {
    return selector != nullptr ? selector->name.c_str() : "<null selector>";
}

SEL NSSelectorFromString(const NSString* name) {
    return name != nullptr ? sel_registerName(name->UTF8String()) : nullptr;
}

NSString* NSStringFromSelector(SEL selector) {
    return selector != nullptr ? NSString::stringWithUTF8String(selector->name.c_str()) : nullptr;
}

NSObject* RuntimeClass::createInstance() const {
    if (!initialized_) {
        // Marked first: initialize may itself make instances of its class.
        initialized_ = true;
        if (initialize_) {
            initialize_();
        }
    }
    return make_();
}

bool RuntimeClass::respondsToSelector(SEL selector) const {
    return actions_.count(selector) != 0;
}

bool RuntimeClass::hasOutlet(std::string_view name) const {
    return outlets_.find(name) != outlets_.end();
}

bool RuntimeClass::setOutlet(NSObject* object, std::string_view name, id value,
                             std::string* error) const {
    auto found = outlets_.find(name);
    if (found == outlets_.end()) {
        if (error != nullptr) {
            *error = name_ + " has no outlet \"" + std::string(name) + "\"";
        }
        return false;
    }
    std::string reason;
    if (!found->second(object, value, &reason)) {
        if (error != nullptr) {
            *error = "the outlet \"" + std::string(name) + "\" of " + name_ + " " + reason;
        }
        return false;
    }
    return true;
}

bool RuntimeClass::sendAction(NSObject* target, SEL selector, id sender) const {
    auto found = actions_.find(selector);
    if (found == actions_.end()) {
        return false;
    }
    found->second(target, sender);
    return true;
}

void RuntimeClass::awakeFromNib(NSObject* object) const {
    if (awake_) {
        awake_(object);
    }
}

void RuntimeClass::addOutlet(std::string name, Outlet outlet) {
    outlets_[std::move(name)] = std::move(outlet);
}

void RuntimeClass::addAction(SEL selector, Action action) {
    actions_[selector] = std::move(action);
}

const RuntimeClass* runtimeClassNamed(std::string_view name) {
    auto& byName = registry().byName;
    auto found = byName.find(name);
    return found == byName.end() ? nullptr : found->second.get();
}

const RuntimeClass* runtimeClassOf(const NSObject* object) {
    if (object == nullptr) {
        return nullptr;
    }
    auto& byType = registry().byType;
    auto found = byType.find(std::type_index(typeid(*object)));
    return found == byType.end() ? nullptr : found->second;
}

bool sendActionToTarget(SEL selector, id target, id sender) {
    const RuntimeClass* cls = runtimeClassOf(target);
    return cls != nullptr && cls->sendAction(target, selector, sender);
}

RuntimeClass& registerRuntimeClass(std::string name, const std::type_info& type,
                                   std::function<NSObject*()> make) {
    Registry& table = registry();
    if (table.byName.count(name) != 0 || table.byType.count(std::type_index(type)) != 0) {
        std::fprintf(stderr, "runtime: class %s is registered twice\n", name.c_str());
        std::abort();
    }
    auto cls = std::make_unique<RuntimeClass>(name, std::move(make));
    RuntimeClass* registered = cls.get();
    table.byName.emplace(std::move(name), std::move(cls));
    table.byType.emplace(std::type_index(type), registered);
    if (table.loadingImage != 0) {
        table.imageOf.emplace(registered, table.loadingImage);
    }
    return *registered;
}
