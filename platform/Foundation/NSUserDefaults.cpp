// The standard user defaults of the simulated session: the argument domain from the process's
// arguments, the application's persistent domain in the home folder, and the registration
// domain, which lives in memory only and is forgotten at every session reset.
#include "Foundation/NSUserDefaults.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "Foundation/Foundation.h"
#include "Foundation/FoundationInternal.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSUserDefaultsInternal.h"
#include "Foundation/PreferenceDomainInternal.h"
#include "RetainPtr.h"
#include "TypeCastsCF.h"
#include "TypeCastsCocoa.h"
#include "sim/Desktop.h"
#include "sim/ProcessArguments.h"

const CFStringRef NSArgumentDomain = CFStringMakeConstant("NSArgumentDomain");
const CFStringRef NSRegistrationDomain = CFStringMakeConstant("NSRegistrationDomain");
const CFStringRef NSUserDefaultsDidChangeNotification =
    CFStringMakeConstant("NSUserDefaultsDidChangeNotification");

namespace {

struct VolatileDomains {
    RetainPtr<NSMutableDictionary*> registration;
    RetainPtr<NSMutableDictionary*> arguments;
    std::uint64_t argumentsGeneration = 0;
};

VolatileDomains& volatileDomains() {
    static VolatileDomains domains;
    return domains;
}

NSMutableDictionary* registrationDomain() {
    RetainPtr<NSMutableDictionary*>& domain = volatileDomains().registration;
    if (!domain) {
        domain = adoptCF(NSMutableDictionary::create());
    }
    return domain.get();
}

// The argument domain, as the platform reads the command line: every "-Key value" pair, the
// value kept as a string. Anything else on the command line is passed over; when a key comes
// twice the later value wins.
NSMutableDictionary* argumentDomain() {
    VolatileDomains& domains = volatileDomains();
    const std::uint64_t generation = sim::processArgumentsGeneration();
    if (domains.arguments && domains.argumentsGeneration == generation) {
        return domains.arguments.get();
    }
    domains.arguments = adoptCF(NSMutableDictionary::create());
    domains.argumentsGeneration = generation;
    const std::vector<std::string>& arguments = sim::processArguments();
    for (std::size_t index = 1; index + 1 < arguments.size();) {
        const std::string& argument = arguments[index];
        if (argument.size() < 2 || argument[0] != '-') {
            ++index;
            continue;
        }
        RetainPtr<CFStringRef> key =
            adoptCF<CFStringRef>(NSString::createWithUTF8(argument.substr(1)));
        RetainPtr<CFStringRef> value =
            adoptCF<CFStringRef>(NSString::createWithUTF8(arguments[index + 1]));
        domains.arguments->setObject(value.get(), key.get());
        index += 2;
    }
    return domains.arguments.get();
}

NSDictionary* autoreleasedCopy(const NSDictionary* dictionary) {
    NSMutableDictionary* copy = NSMutableDictionary::create();
    for (const auto& [key, value] : *dictionary) {
        copy->setObject(value, key);
    }
    return NSObject::autorelease(copy);
}

id autoreleasedValue(CFTypeRef value) {
    return value != nullptr ? value->retain()->autorelease() : nil;
}

}  // namespace

void _NSUserDefaultsReset() {
    volatileDomains().registration.clear();
    volatileDomains().arguments.clear();
}

namespace frameworks {

using namespace sim;

CFTypeRef userDefaultsValue(CFStringRef key) {
    if (key == nullptr) {
        return nullptr;
    }
    if (CFTypeRef value = argumentDomain()->objectForKey(key)) {
        return value;
    }
    if (CFTypeRef value = applicationDomain().valueForKey(key)) {
        return value;
    }
    return registrationDomain()->objectForKey(key);
}

bool userDefaultsBool(CFTypeRef value) {
    // The booleans are numbers too.
    if (const NSNumber* number = dynamic_objc_cast<NSNumber>(value)) {
        return number->boolValue();
    }
    if (CFStringRef text = dynamic_cf_cast<CFStringRef>(value)) {
        return text->boolValue();
    }
    return false;
}

void setBoundUserDefault(CFStringRef key, CFTypeRef value) {
    if (applicationDomain().setValue(key, value, /*keepUnstored=*/false).stored) {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            NSUserDefaultsDidChangeNotification, NSUserDefaults::standardUserDefaults());
    }
}

}  // namespace frameworks

NSUserDefaults* NSUserDefaults::standardUserDefaults() {
    static NSUserDefaults* const defaults = new NSUserDefaults();
    return defaults;
}

void NSUserDefaults::registerDefaults(const NSDictionary* registrationDictionary) {
    if (registrationDictionary == nullptr) {
        return;
    }
    NSMutableDictionary* domain = registrationDomain();
    for (const auto& [key, value] : *registrationDictionary) {
        domain->setObject(value, key);
    }
}

id NSUserDefaults::objectForKey(const NSString* key) {
    return autoreleasedValue(frameworks::userDefaultsValue(key));
}

NSString* NSUserDefaults::stringForKey(const NSString* key) {
    CFTypeRef value = frameworks::userDefaultsValue(key);
    if (CFStringRef text = dynamic_cf_cast<CFStringRef>(value)) {
        return bridge(retainPtr(text).autorelease());
    }
    if (dynamic_cf_cast<CFNumberRef>(value) != nullptr) {
        return value->description();
    }
    return nil;
}

bool NSUserDefaults::boolForKey(const NSString* key) {
    return frameworks::userDefaultsBool(frameworks::userDefaultsValue(key));
}

void NSUserDefaults::setObject(id value, const NSString* key) {
    if (key == nullptr) {
        std::fprintf(stderr, "NSUserDefaults: a value set for no key is ignored\n");
        return;
    }
    std::string reason;
    if (value != nullptr && !frameworks::isPropertyList(value, &reason)) {
        // A programming error of the caller, as the platform's exception would report it.
        std::fprintf(stderr, "NSUserDefaults: the value for key %s is refused: %s\n",
                     key->UTF8String(), reason.c_str());
        return;
    }
    // A value the file could not take stays in memory; the session reports it.
    frameworks::applicationDomain().setValue(key, value, /*keepUnstored=*/true);
    valuesChanged();
}

void NSUserDefaults::setBool(bool value, const NSString* key) {
    setObject(NSNumber::numberWithBool(value), key);
}

void NSUserDefaults::removeObjectForKey(const NSString* key) {
    setObject(nil, key);
}

bool NSUserDefaults::synchronize() {
    return frameworks::applicationDomain().synchronize(nullptr);
}

NSDictionary* NSUserDefaults::volatileDomainForName(const NSString* domainName) {
    if (domainName == nullptr) {
        return nil;
    }
    if (domainName->isEqualToString(NSArgumentDomain)) {
        return autoreleasedCopy(argumentDomain());
    }
    if (domainName->isEqualToString(NSRegistrationDomain)) {
        return autoreleasedCopy(registrationDomain());
    }
    return nil;
}

NSDictionary* NSUserDefaults::persistentDomainForName(const NSString* domainName) {
    if (domainName == nullptr) {
        return nil;
    }
    RetainPtr<CFDictionaryRef> values;
    if (domainName->utf8() == frameworks::applicationDomain().name()) {
        values = frameworks::applicationDomain().copyValues();
    } else {
        values = frameworks::copyStoredDomain(domainName->utf8());
    }
    if (!values || values->count() == 0) {
        return nil;
    }
    return bridge(values.autorelease());
}

void NSUserDefaults::valuesChanged() {
    NSNotificationCenter::defaultCenter()->postNotificationName(NSUserDefaultsDidChangeNotification,
                                                                this);
}
