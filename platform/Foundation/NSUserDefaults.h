// The user defaults: the argument domain (-Key value pairs of the command line), the
// application's own persistent domain (a property list in the session's home folder) and the
// registration domain, searched in that order.
#pragma once

#include "CoreFoundation/CoreFoundation.h"

extern const CFStringRef NSArgumentDomain;
extern const CFStringRef NSRegistrationDomain;

class NSUserDefaults : public NSObject {
public:
    static NSUserDefaults* standardUserDefaults();

    // Values that unset keys read as; never stored.
    void registerDefaults(const NSDictionary* registrationDictionary);

    id objectForKey(const NSString* key);
    NSString* stringForKey(const NSString* key);
    // YES for a number other than 0, or a string that reads as YES (see NSString boolValue).
    bool boolForKey(const NSString* key);
    // Stores in the application's persistent domain; later reads see it at once, and it is
    // written to the home folder at once (atomically).
    void setObject(id value, const NSString* key);
    void setBool(bool value, const NSString* key);
    void removeObjectForKey(const NSString* key);
    bool synchronize();

    // The argument or registration domain (autoreleased copy).
    NSDictionary* volatileDomainForName(const NSString* domainName);
    // The application's persistent domain (autoreleased copy), or nil when it is empty.
    NSDictionary* persistentDomainForName(const NSString* domainName);
};
