// Bundles: the application's own bundle, found from the running executable.
#pragma once

#include "CoreFoundation/CoreFoundation.h"

class NSBundle : public NSObject {
public:
    // The bundle of the running application (Quenfold.app), or nil when it cannot be found.
    static NSBundle* mainBundle();

    NSString* bundlePath() const;
    NSURL* bundleURL() const;
    NSString* bundleIdentifier() const;
    NSString* resourcePath() const;
    // The bundle's Contents/Info.plist (autoreleased), or nil when it cannot be read.
    NSDictionary* infoDictionary() const;
    id objectForInfoDictionaryKey(const NSString* key) const;
    NSString* pathForResource(const NSString* name, const NSString* type) const;

    ~NSBundle() override;

private:
    explicit NSBundle(const NSString* path);
    NSString* path_;
};
