#include "Foundation/PreferenceDomainInternal.h"

#include <cstdio>
#include <cstdlib>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/StoredPropertyListInternal.h"
#include "Foundation/Foundation.h"
#include "TypeCastsCF.h"
#include "sim/Desktop.h"
#include "sim/HomeFolder.h"
#include "sim/Transcript.h"

namespace frameworks {

using namespace sim;
namespace {

bool isDictionary(CFTypeRef root, std::string* reason) {
    if (dynamic_cf_cast<CFDictionaryRef>(root) != nullptr) {
        return true;
    }
    *reason = "it holds no dictionary of preferences";
    return false;
}

}  // namespace

std::string PreferenceDomain::filePath() const {
    return preferencesFilePath(name_ + ".plist");
}

NSMutableDictionary* PreferenceDomain::values() {
    if (values_ && generation_ == homeFolderGeneration()) {
        return values_.get();
    }
    forget();
    generation_ = homeFolderGeneration();
    // A file that cannot be read now reads as empty; the next change reads it afresh.
    StoredFileRead read = readStoredPropertyList(filePath(), "preferences file", isDictionary);
    if (read.root) {
        // Containers read from a property list are mutable.
        values_ = retainPtr(bridge(static_cast<const NSMutableDictionary*>(read.root.get())));
    } else {
        values_ = adoptCF(NSMutableDictionary::create());
    }
    unstored_ = adoptCF(NSMutableDictionary::create());
    return values_.get();
}

CFTypeRef PreferenceDomain::valueForKey(CFStringRef key) {
    return key != nullptr ? values()->objectForKey(key) : nullptr;
}

RetainPtr<CFDictionaryRef> PreferenceDomain::copyValues() {
    RetainPtr<NSMutableDictionary*> copy = adoptCF(NSMutableDictionary::create());
    for (const auto& [key, value] : *values()) {
        copy->setObject(value, key);
    }
    return RetainPtr<CFDictionaryRef>(std::move(copy));
}

bool PreferenceDomain::write(std::string* error) {
    const StoredFileUpdate update = updateStoredPropertyList(
        filePath(), "preferences file", isDictionary, [this](CFTypeRef current, std::string*) {
            RetainPtr<NSMutableDictionary*> merged =
                current != nullptr
                    ? retainPtr(bridge(static_cast<const NSMutableDictionary*>(current)))
                    : adoptCF(NSMutableDictionary::create());
            for (const auto& [key, value] : *unstored_.get()) {
                if (value == kCFNull) {
                    merged->removeObjectForKey(key);
                } else {
                    merged->setObject(value, key);
                }
            }
            return RetainPtr<CFTypeRef>(std::move(merged));
        });
    if (!update.written) {
        *error = update.error;
        return false;
    }
    // Containers read from a property list are mutable; this one holds every process's keys.
    values_ = retainPtr(bridge(static_cast<const NSMutableDictionary*>(update.root.get())));
    unstored_->removeAllObjects();
    return true;
}

PreferenceDomain::Change PreferenceDomain::setValue(CFStringRef key, CFTypeRef value,
                                                    bool keepUnstored) {
    Change change;
    if (key == nullptr) {
        change.error = "no key";
        return change;
    }
    RetainPtr<CFTypeRef> copy;
    if (value != nullptr) {
        copy = copyPropertyList(value, &change.error);
        if (!copy) {
            change.error = "not a property-list value: " + change.error;
            return change;
        }
    }
    NSMutableDictionary* dictionary = values();
    const RetainPtr<CFTypeRef> previous = retainPtr<CFTypeRef>(dictionary->objectForKey(key));
    const RetainPtr<CFTypeRef> previousChange = retainPtr<CFTypeRef>(unstored_->objectForKey(key));
    if (copy) {
        dictionary->setObject(copy.get(), key);
    } else {
        dictionary->removeObjectForKey(key);
    }
    unstored_->setObject(copy ? copy.get() : kCFNull, key);

    const std::string what = "preference " + key->utf8() +
                             (copy ? " = " + describePreferenceValue(copy.get()) : " removed");
    change.stored = write(&change.error);
    if (change.stored) {
        record(what + (copy ? " stored" : ""));
        return change;
    }
    if (keepUnstored) {
        record(what + " (not stored: " + change.error + ")");
        return change;
    }
    record(what + " refused: " + change.error);
    if (previous) {
        dictionary->setObject(previous.get(), key);
    } else {
        dictionary->removeObjectForKey(key);
    }
    if (previousChange) {
        unstored_->setObject(previousChange.get(), key);
    } else {
        unstored_->removeObjectForKey(key);
    }
    return change;
}

bool PreferenceDomain::synchronize(std::string* error) {
    std::string ignored;
    if (unstored_ && unstored_->count() > 0 && generation_ == homeFolderGeneration()) {
        return write(error ? error : &ignored);
    }
    forget();
    return true;
}

void PreferenceDomain::forget() {
    values_.clear();
    unstored_.clear();
    generation_ = 0;
}

PreferenceDomain& applicationDomain() {
    static PreferenceDomain domain(kSystemBundleIdentifier);
    return domain;
}

RetainPtr<CFDictionaryRef> copyStoredDomain(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        return nullptr;
    }
    PropertyListFile file = readPropertyListFile(preferencesFilePath(name + ".plist"));
    if (file.status != PropertyListFile::Status::Read) {
        return nullptr;
    }
    return dynamic_cf_cast<CFDictionaryRef>(std::move(file.root));
}

std::string describePreferenceValue(CFTypeRef value) {
    if (value == nullptr) {
        return "nothing";
    }
    switch (CFGetTypeID(value)) {
        case kCFBooleanTypeID:
            return static_cast<const NSNumber*>(value)->boolValue() ? "YES" : "NO";
        case kCFNumberTypeID: {
            const auto* number = static_cast<const NSNumber*>(value);
            if (number->isUnsignedBeyondLongLong()) {
                return std::to_string(number->unsignedLongLongValue());
            }
            if (!number->isReal()) {
                return std::to_string(number->longLongValue());
            }
            // The shortest text that reads back as the same number.
            char text[32];
            for (int precision = 1; precision <= 17; ++precision) {
                std::snprintf(text, sizeof text, "%.*g", precision, number->doubleValue());
                if (std::strtod(text, nullptr) == number->doubleValue()) {
                    break;
                }
            }
            return text;
        }
        case kCFStringTypeID:
            return "\"" + static_cast<const NSString*>(value)->utf8() + "\"";
        case kCFDateTypeID:
        case kCFDataTypeID: {
            // "2020-01-01 00:00:00 +0000", "{length = 3, bytes = 0x0001ff}"
            const RetainPtr<CFStringRef> text = adoptCF(CFCopyDescription(value));
            return text->utf8();
        }
        case kCFArrayTypeID: {
            std::string text = "(";
            for (const NSObject* element : *static_cast<const NSArray*>(value)) {
                text += (text.size() > 1 ? ", " : "") + describePreferenceValue(element);
            }
            return text + ")";
        }
        case kCFDictionaryTypeID: {
            std::string text = "{";
            for (const auto& [key, element] : *static_cast<const NSDictionary*>(value)) {
                text += (text.size() > 1 ? "; " : "") + describePreferenceValue(key) + " = " +
                        describePreferenceValue(element);
            }
            return text + "}";
        }
        default:
            return value->className();
    }
}

}  // namespace frameworks
