#include "AppKit/InterfaceFileInternal.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>

#include "AppKit/NSApplication.h"
#include "AppKit/NSButton.h"
#include "AppKit/NSTextField.h"
#include "AppKit/NSWindow.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "Foundation/NSObjCRuntime.h"
#include "TypeCastsCF.h"
#include "TypeCastsCocoa.h"

namespace frameworks {

namespace {

constexpr long kInterfaceFileVersion = 1;
constexpr const char* kApplicationID = "NSApp";

// A problem found in the file: where, and what.
struct LoadError {
    std::string reason;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw LoadError{where + ": " + what};
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// One dictionary of the file, read key by key. Every key must be one the reader knows.
class Description {
public:
    Description(CFTypeRef object, std::string where) : where_(std::move(where)) {
        dictionary_ = dynamic_cf_cast<CFDictionaryRef>(object);
        if (dictionary_ == nullptr) {
            fail(where_, "is not a dictionary");
        }
    }

    const std::string& where() const { return where_; }

    void allowOnly(std::initializer_list<const char*> keys) const {
        for (const auto& [key, value] : *dictionary_) {
            CFStringRef name = dynamic_cf_cast<CFStringRef>(key);
            const std::string text = name != nullptr ? name->utf8() : "?";
            if (std::none_of(keys.begin(), keys.end(), [&](const char* k) { return text == k; })) {
                fail(where_, "unknown key " + quoted(text));
            }
        }
    }

    id value(const char* key) const {
        const RetainPtr<CFStringRef> name = adoptCF<CFStringRef>(NSString::createWithUTF8(key));
        return dictionary_->objectForKey(name.get());
    }

    std::optional<std::string> optionalString(const char* key) const {
        id object = value(key);
        if (object == nullptr) {
            return std::nullopt;
        }
        CFStringRef text = dynamic_cf_cast<CFStringRef>(object);
        if (text == nullptr) {
            fail(where_, std::string(key) + " is not a string");
        }
        return text->utf8();
    }

    std::string string(const char* key) const {
        std::optional<std::string> text = optionalString(key);
        if (!text) {
            fail(where_, std::string("has no ") + key);
        }
        return *text;
    }

    // A non-empty name (an ID, a class, a selector).
    std::string name(const char* key) const {
        std::string text = string(key);
        if (text.empty()) {
            fail(where_, std::string(key) + " is empty");
        }
        return text;
    }

    bool boolean(const char* key, bool fallback) const {
        id object = value(key);
        if (object == nullptr) {
            return fallback;
        }
        CFBooleanRef flag = dynamic_cf_cast<CFBooleanRef>(object);
        if (flag == nullptr) {
            fail(where_, std::string(key) + " is not a boolean");
        }
        return CFBooleanGetValue(flag);
    }

    long integer(const char* key) const {
        id object = value(key);
        if (object == nullptr) {
            fail(where_, std::string("has no ") + key);
        }
        CFNumberRef number = dynamic_cf_cast<CFNumberRef>(object);
        if (number == nullptr || number->isReal()) {
            fail(where_, std::string(key) + " is not an integer");
        }
        return static_cast<long>(number->longLongValue());
    }

    const NSArray* array(const char* key, bool required) const {
        id object = value(key);
        if (object == nullptr) {
            if (required) {
                fail(where_, std::string("has no ") + key);
            }
            return nullptr;
        }
        CFArrayRef list = dynamic_cf_cast<CFArrayRef>(object);
        if (list == nullptr) {
            fail(where_, std::string(key) + " is not an array");
        }
        return list;
    }

    NSRect frame(const char* key) const {
        const NSArray* numbers = array(key, true);
        double values[4] = {};
        if (numbers->count() != 4) {
            fail(where_, std::string(key) + " does not hold four numbers (x, y, width, height)");
        }
        for (NSUInteger index = 0; index < 4; ++index) {
            CFNumberRef number = dynamic_cf_cast<CFNumberRef>(numbers->objectAtIndex(index));
            if (number == nullptr) {
                fail(where_,
                     std::string(key) + " does not hold four numbers (x, y, width, height)");
            }
            values[index] = number->doubleValue();
            if (!std::isfinite(values[index])) {
                fail(where_, std::string(key) + " holds a number that is not finite");
            }
        }
        if (values[2] < 0 || values[3] < 0) {
            fail(where_, std::string(key) + " has a negative width or height");
        }
        return NSMakeRect(values[0], values[1], values[2], values[3]);
    }

private:
    const NSDictionary* dictionary_;
    std::string where_;
};

enum class Kind { Application, Window, TextField, Button, Registered };

struct ViewPlan {
    Kind kind = Kind::TextField;
    std::string id;  // may be empty
    std::optional<std::string> identifier;
    NSRect frame{};
    std::string stringValue;
    NSColor* textColor = nullptr;
    NSButtonType buttonType = NSButtonTypeMomentaryPushIn;
    std::string title;
    std::optional<std::string> defaultsKey;
};

struct ObjectPlan {
    Kind kind = Kind::Registered;
    std::string id;
    const RuntimeClass* cls = nullptr;  // registered classes
    std::string title;
    NSRect frame{};
    bool visibleAtLaunch = false;
    std::vector<ViewPlan> views;
};

struct ConnectionPlan {
    bool isOutlet = true;
    std::string where;
    std::string source;
    std::string name;  // the outlet's name, or the action's selector
    std::string destination;
};

struct Plan {
    std::vector<ObjectPlan> objects;
    std::vector<ConnectionPlan> connections;
};

// What each ID names, for checking the connections before anything is made.
struct Symbol {
    Kind kind;
    const RuntimeClass* cls;
};

class PlanReader {
public:
    Plan read(CFTypeRef root) {
        Description file(root, "the top level");
        file.allowOnly({"InterfaceFileVersion", "Objects", "Connections"});
        const long version = file.integer("InterfaceFileVersion");
        if (version != kInterfaceFileVersion) {
            fail(file.where(), "InterfaceFileVersion " + std::to_string(version) +
                                   " is not supported (only " +
                                   std::to_string(kInterfaceFileVersion) + ")");
        }
        symbols_[kApplicationID] = Symbol{Kind::Application, nullptr};
        Plan plan;
        const NSArray* objects = file.array("Objects", true);
        for (NSUInteger index = 0; index < objects->count(); ++index) {
            plan.objects.push_back(readObject(objects->objectAtIndex(index),
                                              "Objects[" + std::to_string(index) + "]"));
        }
        if (const NSArray* connections = file.array("Connections", false)) {
            for (NSUInteger index = 0; index < connections->count(); ++index) {
                plan.connections.push_back(
                    readConnection(connections->objectAtIndex(index),
                                   "Connections[" + std::to_string(index) + "]"));
            }
        }
        return plan;
    }

private:
    void declare(const std::string& identifier, Symbol symbol, const std::string& where) {
        if (identifier == kApplicationID) {
            fail(where, "the ID \"NSApp\" is reserved for the application object");
        }
        if (!symbols_.emplace(identifier, symbol).second) {
            fail(where, "the ID " + quoted(identifier) + " is used twice");
        }
    }

    ObjectPlan readObject(CFTypeRef object, const std::string& where) {
        Description description(object, where);
        ObjectPlan plan;
        plan.id = description.name("ID");
        const std::string name = where + " " + quoted(plan.id);
        const std::string className = description.name("Class");
        if (className == "NSWindow") {
            Description window(object, name);
            window.allowOnly({"ID", "Class", "Title", "Frame", "VisibleAtLaunch", "Views"});
            plan.kind = Kind::Window;
            plan.title = window.string("Title");
            plan.frame = window.frame("Frame");
            plan.visibleAtLaunch = window.boolean("VisibleAtLaunch", false);
            declare(plan.id, Symbol{Kind::Window, nullptr}, name);
            if (const NSArray* views = window.array("Views", false)) {
                for (NSUInteger index = 0; index < views->count(); ++index) {
                    plan.views.push_back(readView(views->objectAtIndex(index),
                                                  name + ", Views[" + std::to_string(index) + "]"));
                }
            }
            return plan;
        }
        if (className == "NSTextField" || className == "NSButton") {
            fail(name, className + " is a view: it belongs in the Views of a window");
        }
        plan.cls = runtimeClassNamed(className);
        if (plan.cls == nullptr) {
            fail(name, "no class is named " + quoted(className));
        }
        Description(object, name).allowOnly({"ID", "Class"});
        plan.kind = Kind::Registered;
        declare(plan.id, Symbol{Kind::Registered, plan.cls}, name);
        return plan;
    }

    ViewPlan readView(CFTypeRef object, const std::string& where) {
        Description description(object, where);
        ViewPlan plan;
        plan.id = description.optionalString("ID").value_or("");
        const std::string className = description.name("Class");
        plan.identifier = description.optionalString("Identifier");
        plan.frame = description.frame("Frame");
        if (className == "NSTextField") {
            description.allowOnly(
                {"ID", "Class", "Identifier", "Frame", "StringValue", "TextColor"});
            plan.kind = Kind::TextField;
            plan.stringValue = description.optionalString("StringValue").value_or("");
            if (std::optional<std::string> color = description.optionalString("TextColor")) {
                RetainPtr<CFStringRef> colorName =
                    adoptCF<CFStringRef>(NSString::createWithUTF8(*color));
                plan.textColor = NSColor::colorNamed(colorName.get());
                if (plan.textColor == nullptr) {
                    fail(where, "TextColor " + quoted(*color) + " is not the name of a colour");
                }
            }
        } else if (className == "NSButton") {
            description.allowOnly(
                {"ID", "Class", "Identifier", "Frame", "ButtonType", "Title", "UserDefaultsKey"});
            plan.kind = Kind::Button;
            const std::string type = description.name("ButtonType");
            if (type == "switch") {
                plan.buttonType = NSButtonTypeSwitch;
            } else if (type == "push") {
                plan.buttonType = NSButtonTypeMomentaryPushIn;
            } else {
                fail(where, "ButtonType " + quoted(type) + " is neither \"switch\" nor \"push\"");
            }
            plan.title = description.string("Title");
            plan.defaultsKey = description.optionalString("UserDefaultsKey");
            if (plan.defaultsKey && plan.defaultsKey->empty()) {
                fail(where, "UserDefaultsKey is empty");
            }
            if (plan.defaultsKey && plan.buttonType != NSButtonTypeSwitch) {
                fail(where, "only a switch can be bound to a user defaults key");
            }
        } else {
            fail(where, quoted(className) + " is not a view class (NSTextField or NSButton)");
        }
        if (!plan.id.empty()) {
            declare(plan.id, Symbol{plan.kind, nullptr}, where);
        }
        return plan;
    }

    const Symbol& symbol(const std::string& identifier, const std::string& where,
                         const char* role) {
        auto found = symbols_.find(identifier);
        if (found == symbols_.end()) {
            fail(where, std::string(role) + " " + quoted(identifier) + " is no object of the file");
        }
        return found->second;
    }

    ConnectionPlan readConnection(CFTypeRef object, const std::string& where) {
        Description description(object, where);
        ConnectionPlan plan;
        plan.where = where;
        const std::string type = description.name("Type");
        if (type == "outlet") {
            description.allowOnly({"Type", "Source", "Outlet", "Destination"});
            plan.source = description.name("Source");
            plan.name = description.name("Outlet");
            plan.destination = description.name("Destination");
            const Symbol& source = symbol(plan.source, where, "the Source");
            symbol(plan.destination, where, "the Destination");
            if (source.kind == Kind::Application) {
                if (plan.name != "delegate") {
                    fail(where, "the application object has no outlet " + quoted(plan.name));
                }
            } else if (source.kind != Kind::Registered) {
                fail(where, quoted(plan.source) + " has no outlets");
            } else if (!source.cls->hasOutlet(plan.name)) {
                fail(where, source.cls->name() + " has no outlet " + quoted(plan.name));
            }
            if (!outlets_.insert(plan.source + "." + plan.name).second) {
                fail(where, "the outlet " + quoted(plan.name) + " of " + quoted(plan.source) +
                                " is connected twice");
            }
        } else if (type == "action") {
            description.allowOnly({"Type", "Source", "Action", "Target"});
            plan.isOutlet = false;
            plan.source = description.name("Source");
            plan.name = description.name("Action");
            plan.destination = description.name("Target");
            const Symbol& source = symbol(plan.source, where, "the Source");
            const Symbol& target = symbol(plan.destination, where, "the Target");
            if (source.kind != Kind::TextField && source.kind != Kind::Button) {
                fail(where, quoted(plan.source) + " is not a control: it sends no actions");
            }
            if (target.kind != Kind::Registered ||
                !target.cls->respondsToSelector(sel_registerName(plan.name.c_str()))) {
                fail(where, quoted(plan.destination) + " does not respond to " + quoted(plan.name));
            }
            if (!actions_.insert(plan.source).second) {
                fail(where, quoted(plan.source) + " already has an action");
            }
        } else {
            fail(where, "Type " + quoted(type) + " is neither \"outlet\" nor \"action\"");
        }
        return plan;
    }

    std::map<std::string, Symbol> symbols_;
    std::set<std::string> outlets_;
    std::set<std::string> actions_;
};

}  // namespace

// Makes the objects of a checked plan and connects them.
class InterfaceBuilder {
public:
    InterfaceBuilder(LoadedInterface& loaded, NSApplication* owner)
        : loaded_(loaded), owner_(owner) {}

    void build(const Plan& plan) {
        for (const ObjectPlan& object : plan.objects) {
            make(object);
        }
        for (const ConnectionPlan& connection : plan.connections) {
            connection.isOutlet ? connectOutlet(connection) : connectAction(connection);
        }
        for (const ObjectPlan& object : plan.objects) {
            if (object.kind == Kind::Registered) {
                object.cls->awakeFromNib(loaded_.objectWithID(object.id));
            }
        }
        for (const ObjectPlan& object : plan.objects) {
            if (object.kind == Kind::Window && object.visibleAtLaunch) {
                static_cast<NSWindow*>(loaded_.objectWithID(object.id))->orderFront(nullptr);
            }
        }
    }

private:
    static RetainPtr<CFStringRef> text(const std::string& utf8) {
        return adoptCF<CFStringRef>(NSString::createWithUTF8(utf8));
    }

    void name(const std::string& identifier, id object) {
        if (!identifier.empty()) {
            loaded_.byID_.emplace_back(identifier, object);
        }
    }

    void make(const ObjectPlan& plan) {
        RetainPtr<id> object;
        if (plan.kind == Kind::Window) {
            RetainPtr<NSWindow*> window =
                adoptCF(NSWindow::create(plan.frame, text(plan.title).get()));
            for (const ViewPlan& view : plan.views) {
                RetainPtr<NSView*> made = makeView(view);
                window->addSubview(made.get());
                name(view.id, made.get());
            }
            object = std::move(window);
        } else {
            object = adoptCF<id>(plan.cls->createInstance());
        }
        name(plan.id, object.get());
        loaded_.topLevel_.push_back(std::move(object));
    }

    static RetainPtr<NSView*> makeView(const ViewPlan& plan) {
        RetainPtr<NSControl*> control;
        if (plan.kind == Kind::TextField) {
            RetainPtr<NSTextField*> field = adoptCF(NSTextField::create(plan.frame));
            field->setStringValue(text(plan.stringValue).get());
            field->setTextColor(plan.textColor);
            control = std::move(field);
        } else {
            RetainPtr<NSButton*> button =
                adoptCF(NSButton::create(plan.buttonType, text(plan.title).get(), plan.frame));
            if (plan.defaultsKey) {
                button->bindValueToUserDefaultsKey(text(*plan.defaultsKey).get());
            }
            control = std::move(button);
        }
        if (plan.identifier) {
            control->setIdentifier(text(*plan.identifier).get());
        }
        return RetainPtr<NSView*>(std::move(control));
    }

    id resolve(const std::string& identifier) const {
        return identifier == kApplicationID ? static_cast<NSObject*>(owner_)
                                            : loaded_.objectWithID(identifier);
    }

    void connectOutlet(const ConnectionPlan& plan) {
        id destination = resolve(plan.destination);
        if (plan.source == kApplicationID) {
            auto* delegate = dynamic_cast<NSApplicationDelegate*>(destination);
            if (delegate == nullptr) {
                fail(plan.where, quoted(plan.destination) +
                                     " cannot be the application's delegate: its class does not "
                                     "adopt NSApplicationDelegate");
            }
            if (owner_ == nullptr) {
                fail(plan.where, "there is no application object to connect");
            }
            owner_->setDelegate(delegate);
            return;
        }
        id source = loaded_.objectWithID(plan.source);
        std::string reason;
        if (!runtimeClassOf(source)->setOutlet(source, plan.name, destination, &reason)) {
            fail(plan.where, reason);
        }
    }

    void connectAction(const ConnectionPlan& plan) {
        auto* control = static_cast<NSControl*>(loaded_.objectWithID(plan.source));
        control->setTarget(loaded_.objectWithID(plan.destination));
        control->setAction(sel_registerName(plan.name.c_str()));
    }

    LoadedInterface& loaded_;
    NSApplication* owner_;
};

id LoadedInterface::objectWithID(std::string_view identifier) const {
    for (const auto& [name, object] : byID_) {
        if (name == identifier) {
            return object;
        }
    }
    return nullptr;
}

std::vector<NSWindow*> LoadedInterface::windows() const {
    std::vector<NSWindow*> windows;
    for (const auto& object : topLevel_) {
        if (auto* window = dynamic_objc_cast<NSWindow>(object.get())) {
            windows.push_back(window);
        }
    }
    return windows;
}

std::unique_ptr<LoadedInterface> loadInterface(CFTypeRef root, NSApplication* owner,
                                               std::string* error) {
    NSApplicationDelegate* const previousDelegate = owner != nullptr ? owner->delegate() : nullptr;
    auto loaded = std::make_unique<LoadedInterface>();
    try {
        const Plan plan = PlanReader().read(root);
        NSAutoreleasePool pool;
        InterfaceBuilder(*loaded, owner).build(plan);
    } catch (const LoadError& problem) {
        // Nothing of a failed load stays connected or alive.
        if (owner != nullptr) {
            owner->setDelegate(previousDelegate);
        }
        if (error != nullptr) {
            *error = problem.reason;
        }
        return nullptr;
    }
    return loaded;
}

std::unique_ptr<LoadedInterface> loadInterfaceFile(const std::string& path, NSApplication* owner,
                                                   std::string* error) {
    PropertyListFile file = readPropertyListFile(path);
    std::string reason;
    std::unique_ptr<LoadedInterface> loaded;
    switch (file.status) {
        case PropertyListFile::Status::Missing:
            reason = "the file does not exist";
            break;
        case PropertyListFile::Status::Unreadable:
        case PropertyListFile::Status::Unavailable:
            reason = file.error;
            break;
        case PropertyListFile::Status::Read:
            loaded = loadInterface(file.root.get(), owner, &reason);
            break;
    }
    if (!loaded && error != nullptr) {
        *error = path + ": " + reason;
    }
    return loaded;
}

}  // namespace frameworks
