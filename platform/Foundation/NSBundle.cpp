// Bundles of the simulated session: the main bundle is the folder sim::mainBundlePath() names.
// Bundle objects are kept by path for the session, as the platform keeps them for the process.
#include "Foundation/NSBundle.h"

#include <map>
#include <string>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "Foundation/Foundation.h"
#include "Foundation/FoundationInternal.h"
#include "RetainPtr.h"
#include "TypeCastsCF.h"
#include "sim/Desktop.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"

namespace {

// The bundles made so far, by path. Never destroyed: the bundles live as long as the program
// unless a reset lets them go, and stay reachable until then.
std::map<std::string, NSBundle*>& bundlesByPath() {
    static auto& bundles = *new std::map<std::string, NSBundle*>;
    return bundles;
}

NSString* createJoined(const NSString* path, const char16_t* component) {
    std::u16string units = path->units();
    while (units.size() > 1 && units.back() == u'/') {
        units.pop_back();
    }
    if (units != u"/") {
        units += u'/';
    }
    return NSString::create(units + component);
}

}  // namespace

void _NSBundleReset() {
    // Taken out first: releasing a bundle may not reach back into the map.
    std::map<std::string, NSBundle*> bundles;
    bundles.swap(bundlesByPath());
    for (const auto& entry : bundles) {
        entry.second->release();
    }
}

NSBundle::NSBundle(const NSString* path)
    : path_(NSString::create(path->units())),
      resourcePath_(createJoined(path, u"Contents/Resources")) {}

NSBundle::~NSBundle() {
    path_->release();
    resourcePath_->release();
    if (url_ != nullptr) {
        url_->release();
    }
    if (info_ != nullptr) {
        info_->release();
    }
}

NSBundle* NSBundle::mainBundle() {
    if (sim::failCall<"mainBundle">()) {
        return nil;
    }
    const std::string path = sim::mainBundlePath();
    if (path.empty()) {
        return nil;
    }
    NSBundle*& bundle = bundlesByPath()[path];
    if (bundle == nullptr) {
        const RetainPtr<CFStringRef> pathString =
            adoptCF<CFStringRef>(NSString::createWithUTF8(path));
        bundle = new NSBundle(pathString.get());
    }
    return bundle;
}

NSString* NSBundle::bundlePath() const {
    return path_;
}

NSURL* NSBundle::bundleURL() const {
    if (url_ == nullptr) {
        // A bundle is a folder, whether or not the file system has it now.
        NSAutoreleasePool pool;
        url_ = NSURL::createFileURL(path_, true);
    }
    return url_;
}

NSString* NSBundle::resourcePath() const {
    return resourcePath_;
}

NSDictionary* NSBundle::infoDictionary() const {
    if (!infoRead_) {
        infoRead_ = true;
        const RetainPtr<CFStringRef> infoPath =
            adoptCF<CFStringRef>(createJoined(path_, u"Contents/Info.plist"));
        frameworks::PropertyListFile file = frameworks::readPropertyListFile(infoPath->utf8());
        if (file.status == frameworks::PropertyListFile::Status::Read) {
            info_ = bridge(dynamic_cf_cast<CFDictionaryRef>(std::move(file.root)).leakRef());
        }
    }
    return info_;
}

id NSBundle::objectForInfoDictionaryKey(const NSString* key) const {
    const NSDictionary* info = infoDictionary();
    return info != nullptr && key != nullptr ? info->objectForKey(key) : nil;
}

NSString* NSBundle::bundleIdentifier() const {
    return bridge(
        dynamic_cf_cast<CFStringRef>(objectForInfoDictionaryKey(CFSTR("CFBundleIdentifier"))));
}

NSString* NSBundle::pathForResource(const NSString* name, const NSString* type) const {
    if (name == nullptr || name->length() == 0) {
        return nil;
    }
    std::u16string fileName = name->units();
    if (type != nullptr && type->length() > 0) {
        if (type->units().front() != u'.') {
            fileName += u'.';
        }
        fileName += type->units();
    }
    const RetainPtr<CFStringRef> folder = retainPtr<CFStringRef>(resourcePath_);
    RetainPtr<CFStringRef> path =
        adoptCF<CFStringRef>(createJoined(folder.get(), fileName.c_str()));
    if (!sim::fileSystemExists(path->utf8())) {
        return nil;
    }
    return bridge(path.autorelease());
}
