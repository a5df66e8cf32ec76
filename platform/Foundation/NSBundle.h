// Bundles: the application's own bundle, found from the running executable.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSObject.h"

class NSBundle : public NSObject {
public:
    // The bundle of the running application (Quenfold.app), or nil when it cannot be found.
    // It lives until the session is reset.
    static NSBundle* mainBundle();

    // The strings, the URL and the dictionary the accessors answer belong to the bundle.
    NSString* bundlePath() const;
    NSURL* bundleURL() const;
    NSString* bundleIdentifier() const;
    NSString* resourcePath() const;
    // The bundle's Contents/Info.plist, read once, or nil when it cannot be read.
    NSDictionary* infoDictionary() const;
    id objectForInfoDictionaryKey(const NSString* key) const;
    // The path of Contents/Resources/<name>.<type> (autoreleased), or nil when there is none.
    NSString* pathForResource(const NSString* name, const NSString* type) const;

    ~NSBundle() override;

private:
    explicit NSBundle(const NSString* path);
    NSString* path_;
    NSString* resourcePath_;
    mutable NSURL* url_ = nullptr;
    mutable NSDictionary* info_ = nullptr;
    mutable bool infoRead_ = false;
};
