#include "CoreFoundation/CFPropertyListInternal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <utility>

#include "CoreFoundation/CFPropertyListEncodingInternal.h"
#include "TypeCastsCF.h"
#include "TypeCastsCocoa.h"
#include "sim/FileSystem.h"

namespace frameworks {

namespace {

// Where a value lies while a check walks down to it; made into text only for a message.
struct Path {
    const Path* parent = nullptr;
    const NSString* key = nullptr;
    std::size_t index = 0;

    std::string text() const {
        if (parent == nullptr) {
            return {};
        }
        return childLocation(parent->text(), key != nullptr ? key->utf8() : std::to_string(index));
    }
};

struct Check {
    std::size_t values = 0;
    bool xmlCarries = true;  // XML holds every value unchanged
};

// Characters XML 1.0 cannot carry unchanged: control characters (a carriage return comes back
// as a line feed), U+FFFE and U+FFFF, and halves of surrogate pairs standing alone.
bool xmlCarries(const std::u16string& units) {
    for (std::size_t index = 0; index < units.size(); ++index) {
        const char16_t unit = units[index];
        if ((unit < 0x20 && unit != u'\t' && unit != u'\n') || unit == 0xFFFE || unit == 0xFFFF) {
            return false;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (index + 1 == units.size() || units[index + 1] < 0xDC00 ||
                units[index + 1] > 0xDFFF) {
                return false;
            }
            ++index;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

// XML dates are whole seconds of the years 0 to 9999.
bool xmlCarries(const NSDate* date) {
    const double seconds = date->timeIntervalSinceReferenceDate();
    if (!std::isfinite(seconds) || seconds != std::floor(seconds)) {
        return false;
    }
    const SInt32 year = CFAbsoluteTimeGetGregorianDate(seconds, nullptr).year;
    return year >= 0 && year <= 9999;
}

bool checkString(const NSString* string, const char* what, const Path& path, Check* check,
                 std::string* error) {
    const std::u16string& units = string->units();
    if (units.find(u'\0') != std::u16string::npos) {
        *error = std::string(what) + " " + describeLocation(path.text()) + " holds a NUL character";
        return false;
    }
    check->xmlCarries = check->xmlCarries && xmlCarries(units);
    return true;
}

bool checkValue(CFTypeRef object, const Path& path, std::size_t depth, Check* check,
                std::string* error) {
    if (++check->values > kPropertyListMaxValues) {
        *error = "more than " + std::to_string(kPropertyListMaxValues) + " values";
        return false;
    }
    if (object == nullptr) {
        *error = "a null value " + describeLocation(path.text());
        return false;
    }
    const CFTypeID type = CFGetTypeID(object);
    if ((type == kCFArrayTypeID || type == kCFDictionaryTypeID) &&
        depth > kPropertyListMaxNesting) {
        *error = "nested more than " + std::to_string(kPropertyListMaxNesting) + " levels deep " +
                 describeLocation(path.text());
        return false;
    }
    switch (type) {
        case kCFBooleanTypeID:
        case kCFNumberTypeID:
        case kCFDataTypeID:
            return true;
        case kCFDateTypeID:
            check->xmlCarries = check->xmlCarries && xmlCarries(static_cast<const NSDate*>(object));
            return true;
        case kCFStringTypeID:
            return checkString(static_cast<const NSString*>(object), "a string", path, check,
                               error);
        case kCFArrayTypeID: {
            std::size_t index = 0;
            for (const NSObject* element : *static_cast<const NSArray*>(object)) {
                const Path child{&path, nullptr, index++};
                if (!checkValue(element, child, depth + 1, check, error)) {
                    return false;
                }
            }
            return true;
        }
        case kCFDictionaryTypeID:
            for (const auto& [key, value] : *static_cast<const NSDictionary*>(object)) {
                CFStringRef keyString = dynamic_cf_cast<CFStringRef>(key);
                if (keyString == nullptr) {
                    *error = "a key that is not a string " + describeLocation(path.text());
                    return false;
                }
                ++check->values;
                if (!checkString(keyString, "a key", path, check, error)) {
                    return false;
                }
                const Path child{&path, keyString, 0};
                if (!checkValue(value, child, depth + 1, check, error)) {
                    return false;
                }
            }
            return true;
        default:
            *error = std::string("a ") + object->className() + " " + describeLocation(path.text()) +
                     ", which a property list cannot hold";
            return false;
    }
}

std::optional<Check> checkPropertyList(CFTypeRef root, std::string* error) {
    Check check;
    if (!checkValue(root, Path{}, 0, &check, error)) {
        return std::nullopt;
    }
    return check;
}

// A checked property list nests at most kPropertyListMaxNesting levels, so this recursion is
// bounded.
RetainPtr<CFTypeRef> deepCopy(CFTypeRef object) {
    switch (CFGetTypeID(object)) {
        case kCFStringTypeID:
            // A mutable string would change under its holder: keep a copy.
            if (const NSMutableString* string = dynamic_objc_cast<NSMutableString>(object)) {
                return adoptCF<CFTypeRef>(NSString::create(string->units()));
            }
            return retainPtr(object);
        case kCFArrayTypeID: {
            RetainPtr<NSMutableArray*> array = adoptCF(NSMutableArray::create());
            for (const NSObject* element : *static_cast<const NSArray*>(object)) {
                array->addObject(deepCopy(element).get());
            }
            return RetainPtr<CFTypeRef>(std::move(array));
        }
        case kCFDictionaryTypeID: {
            RetainPtr<NSMutableDictionary*> dictionary = adoptCF(NSMutableDictionary::create());
            for (const auto& [key, value] : *static_cast<const NSDictionary*>(object)) {
                dictionary->setObject(deepCopy(value).get(), key);
            }
            return RetainPtr<CFTypeRef>(std::move(dictionary));
        }
        default:
            // Booleans, numbers, dates and data never change.
            return retainPtr(object);
    }
}

std::string sizeLimitText() {
    return std::to_string(kPropertyListMaxBytes >> 20) + " MiB";
}

// The bytes of a checked property list, unless they are more than a reader takes.
std::optional<std::string> encodeChecked(CFTypeRef root, bool binary, std::string* error) {
    std::string bytes = binary ? binaryPropertyList(root) : xmlPropertyList(root);
    if (bytes.size() > kPropertyListMaxBytes) {
        *error = "larger than " + sizeLimitText() + " once encoded";
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> encode(CFTypeRef root, bool binary, std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    if (!checkPropertyList(root, &reason)) {
        return std::nullopt;
    }
    return encodeChecked(root, binary, &reason);
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Writes all of `bytes`, going on after short writes and interruptions.
bool writeAll(int fd, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = sim::storedFileWrite(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// A temporary file beside the target, made for this write alone; -1 with errno when none can
// be made.
int makeTemporaryFile(const std::filesystem::path& folder, const std::string& fileName,
                      std::string* path) {
    static std::uint64_t gWrites = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *path = (folder / (temporaryFilePrefix(fileName) + std::to_string(::getpid()) + "." +
                           std::to_string(++gWrites)))
                    .string();
        const int fd = sim::storedFileOpen(
            path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

std::string describeLocation(const std::string& location) {
    return location.empty() ? std::string("at the top") : "at " + location;
}

std::string childLocation(const std::string& location, const std::string& name) {
    return location.empty() ? name : location + "/" + name;
}

RetainPtr<CFTypeRef> propertyListFromBytes(std::string_view bytes, std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    if (bytes.size() > kPropertyListMaxBytes) {
        reason = "larger than " + sizeLimitText() + ", more than a property list here holds";
        return nullptr;
    }
    if (bytes.empty()) {
        reason = "empty, not a property list";
        return nullptr;
    }
    if (hasBinaryPropertyListHeader(bytes)) {
        return readBinaryPropertyList(bytes, &reason);
    }
    std::string_view start = bytes.substr(bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0);
    while (!start.empty() &&
           (start[0] == ' ' || start[0] == '\t' || start[0] == '\n' || start[0] == '\r')) {
        start.remove_prefix(1);
    }
    if (start.empty() || start[0] != '<') {
        reason = "not a property list, neither XML nor binary";
        return nullptr;
    }
    return readXMLPropertyList(bytes, &reason);
}

bool isPropertyList(CFTypeRef object, std::string* error) {
    std::string ignored;
    return checkPropertyList(object, error ? error : &ignored).has_value();
}

std::optional<std::string> xmlFromPropertyList(CFTypeRef root, std::string* error) {
    return encode(root, /*binary=*/false, error);
}

std::optional<std::string> binaryFromPropertyList(CFTypeRef root, std::string* error) {
    return encode(root, /*binary=*/true, error);
}

RetainPtr<CFTypeRef> copyPropertyList(CFTypeRef object, std::string* error) {
    if (!isPropertyList(object, error)) {
        return nullptr;
    }
    return deepCopy(object);
}

PropertyListFile readPropertyListFile(const std::string& path) {
    PropertyListFile file;
    // What is no regular file is not opened at all (opening a device can act on it), and the
    // file is opened without blocking in case it was replaced meanwhile: opening a named pipe
    // for reading would wait for a writer. Links are followed: a preferences file kept
    // elsewhere and linked in is read where it lies.
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
        file.status = PropertyListFile::Status::Unreadable;
        file.error = std::string("is ") + sim::kindOfFile(before.st_mode) + ", not a regular file";
        return file;
    }
    FileDescriptor fd(sim::storedFileOpen(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        // A file in place of one of its folders means there is no such file either. Any other
        // failure (too many open files, no memory, no permission) says nothing of the content.
        if (errno == ENOENT || errno == ENOTDIR) {
            file.status = PropertyListFile::Status::Missing;
        } else {
            file.status = PropertyListFile::Status::Unavailable;
            file.error = errnoText("cannot be opened");
        }
        return file;
    }
    file.status = PropertyListFile::Status::Unavailable;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        file.error = errnoText("cannot be examined");
        return file;
    }
    file.status = PropertyListFile::Status::Unreadable;
    if (!S_ISREG(info.st_mode)) {
        file.error = std::string("is ") + sim::kindOfFile(info.st_mode) + ", not a regular file";
        return file;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kPropertyListMaxBytes) {
        file.error = "is larger than " + sizeLimitText() + ", more than a property list here holds";
        return file;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = sim::storedFileRead(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            file.status = PropertyListFile::Status::Unavailable;
            file.error = errnoText("cannot be read");
            return file;
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > kPropertyListMaxBytes) {
            // It grew while being read.
            file.error = "is larger than " + sizeLimitText();
            return file;
        }
    }
    file.root = propertyListFromBytes(bytes, &file.error);
    if (file.root) {
        file.status = PropertyListFile::Status::Read;
        file.error.clear();
    }
    return file;
}

bool writePropertyListFile(const std::string& path, CFTypeRef root, std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    const std::optional<Check> check = checkPropertyList(root, &reason);
    if (!check) {
        return false;
    }
    // XML for people and tools to read; binary only when XML cannot carry a value unchanged, so
    // that nothing stored is changed on its way to the disk.
    const std::optional<std::string> bytes = encodeChecked(root, !check->xmlCarries, &reason);
    if (!bytes) {
        return false;
    }

    const std::filesystem::path target(path);
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    if (sim::storedFolderMake(folder.string()) != 0) {
        reason = errnoText("its folder cannot be made");
        return false;
    }

    std::string temporary;
    FileDescriptor fd(makeTemporaryFile(folder, target.filename().string(), &temporary));
    if (fd.get() < 0) {
        reason = errnoText("a temporary file cannot be made beside it");
        return false;
    }
    struct stat existing {};
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0600;
    const bool written = ::fchmod(fd.get(), mode) == 0 &&
                         writeAll(fd.get(), bytes->data(), bytes->size()) &&
                         sim::storedFileSync(fd.get()) == 0;
    const std::string writeError = written ? std::string() : errnoText("cannot be written");
    if (!fd.close() || !written) {
        reason = written ? errnoText("cannot be written") : writeError;
        ::unlink(temporary.c_str());
        return false;
    }
    if (sim::storedFileRename(temporary.c_str(), path.c_str()) != 0) {
        reason = errnoText("cannot replace the old file");
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk only when the folder is flushed.
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0) {
        ::fsync(folderFd.get());
    }
    return true;
}

std::string temporaryFilePrefix(const std::string& fileName) {
    return "." + fileName + ".tmp.";
}

}  // namespace frameworks
