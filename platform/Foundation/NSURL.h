// URLs. NSURL* and CFURLRef (CoreFoundation/CFURL.h) name the same object. File URLs carry a
// percent-encoded path, with a trailing slash when they name a directory; equality compares
// the URL text (and the base URL of a relative one) exactly, character for character.
#pragma once

#include "CoreFoundation/CFURL.h"
#include "Foundation/NSObject.h"

class NSURL : public NSObject {
public:
    // A file URL whose directory flag comes from the file system: a trailing slash when the
    // path names an existing folder.
    static NSURL* fileURLWithPath(const NSString* path);
    static NSURL* fileURLWithPathIsDirectory(const NSString* path, bool isDirectory);
    static NSURL* URLWithString(const NSString* text);
    // +1 variants behind the Create functions.
    static NSURL* createFileURL(const NSString* path, bool isDirectory);
    static NSURL* createWithString(const NSString* text, const NSURL* base);

    // The whole URL text, resolved against the base for a relative URL.
    NSString* absoluteString() const;
    NSString* relativeString() const;
    // The decoded path as the URL text gives it (relative to the base for a relative URL),
    // without a trailing slash.
    NSString* relativePath() const;
    // The decoded absolute path, without a trailing slash.
    NSString* path() const;
    NSURL* baseURL() const { return base_; }
    bool isFileURL() const;
    bool hasDirectoryPath() const;

    CFTypeID typeID() const override { return kCFURLTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;
    NSString* description() const override;
    static Class class_() { return classOf<NSURL>("NSURL"); }

    ~NSURL() override;

private:
    NSURL(const NSString* text, const NSURL* base);

    const NSString* text_;
    NSURL* base_;
};
