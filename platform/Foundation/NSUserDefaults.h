// The user defaults: the argument domain (-Key value pairs of the command line), the
// application's own persistent domain (a property list in the session's home folder) and the
// registration domain, searched in that order.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSObject.h"

extern const CFStringRef NSArgumentDomain;
extern const CFStringRef NSRegistrationDomain;
// Posted by the standard user defaults (as the object) after a value was set or removed.
extern const CFStringRef NSUserDefaultsDidChangeNotification;

class NSUserDefaults : public NSObject {
public:
    static NSUserDefaults* standardUserDefaults();

    // Values that unset keys read as; never stored.
    void registerDefaults(const NSDictionary* registrationDictionary);

    // The value of the first domain that holds the key (autoreleased), or nil.
    id objectForKey(const NSString* key);
    // A string value, or the text of a number (autoreleased); nil for anything else.
    NSString* stringForKey(const NSString* key);
    // YES for a number other than 0, or a string that reads as YES (see NSString boolValue).
    bool boolForKey(const NSString* key);
    // Stores in the application's persistent domain; later reads see it at once, and it is
    // written to the home folder at once (atomically). A nil value removes the key. A value
    // that a property list cannot hold is refused and changes nothing.
    void setObject(id value, const NSString* key);
    void setBool(bool value, const NSString* key);
    void removeObjectForKey(const NSString* key);
    // Writes what a failed write left unstored; otherwise reads the home folder afresh at the
    // next question. False when a write fails.
    bool synchronize();

    // The argument or registration domain (autoreleased copy), or nil for another name.
    NSDictionary* volatileDomainForName(const NSString* domainName);
    // The application's persistent domain (autoreleased copy), or nil when it is empty; for
    // another domain name, that domain's stored values as the home folder holds them.
    NSDictionary* persistentDomainForName(const NSString* domainName);

private:
    NSUserDefaults() : NSObject(Immortal{}) {}
    void valuesChanged();
};
