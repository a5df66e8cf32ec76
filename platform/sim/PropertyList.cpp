#include "sim/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <utility>

#include "TypeCastsCF.h"

namespace sim {
namespace {

// Deeper nesting than this is refused rather than followed into a stack overflow.
constexpr int kMaxNesting = 512;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistHolder = std::unique_ptr<void, PlistDeleter>;

struct MallocDeleter {
    void operator()(void* memory) const { std::free(memory); }
};

std::string describeLocation(const std::string& location) {
    return location.empty() ? std::string("at the top") : "at " + location;
}

std::string childLocation(const std::string& location, const std::string& key) {
    return location.empty() ? key : location + "/" + key;
}

RetainPtr<CFTypeRef> objectFromNode(plist_t node, const std::string& location, int depth,
                                    std::string* error);

RetainPtr<CFTypeRef> arrayFromNode(plist_t node, const std::string& location, int depth,
                                   std::string* error) {
    RetainPtr<NSMutableArray*> array = adoptCF(NSMutableArray::create());
    const std::uint32_t count = plist_array_get_size(node);
    for (std::uint32_t index = 0; index < count; ++index) {
        RetainPtr<CFTypeRef> element =
            objectFromNode(plist_array_get_item(node, index),
                           childLocation(location, std::to_string(index)), depth + 1, error);
        if (!element) {
            return nullptr;
        }
        array->addObject(element.get());
    }
    return RetainPtr<CFTypeRef>(std::move(array));
}

RetainPtr<CFTypeRef> dictionaryFromNode(plist_t node, const std::string& location, int depth,
                                        std::string* error) {
    RetainPtr<NSMutableDictionary*> dictionary = adoptCF(NSMutableDictionary::create());
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    const std::unique_ptr<void, MallocDeleter> iteratorHolder(iterator);
    for (;;) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iterator, &rawKey, &value);
        const std::unique_ptr<char, MallocDeleter> key(rawKey);
        if (value == nullptr) {
            break;
        }
        const std::string keyText = key ? key.get() : "";
        RetainPtr<CFTypeRef> object =
            objectFromNode(value, childLocation(location, keyText), depth + 1, error);
        if (!object) {
            return nullptr;
        }
        RetainPtr<CFStringRef> keyString = adoptCF<CFStringRef>(NSString::createWithUTF8(keyText));
        dictionary->setObject(object.get(), keyString.get());
    }
    return RetainPtr<CFTypeRef>(std::move(dictionary));
}

RetainPtr<CFTypeRef> objectFromNode(plist_t node, const std::string& location, int depth,
                                    std::string* error) {
    if (depth > kMaxNesting) {
        *error = "nested more than " + std::to_string(kMaxNesting) + " levels deep " +
                 describeLocation(location);
        return nullptr;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return retainPtr<CFTypeRef>(value ? kCFBooleanTrue : kCFBooleanFalse);
        }
        case PLIST_UINT: {
            // Integers are signed 64-bit values, as the platform's property lists keep them.
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            return adoptCF<CFTypeRef>(NSNumber::createWithLongLong(static_cast<long long>(value)));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return adoptCF<CFTypeRef>(NSNumber::createWithDouble(value));
        }
        case PLIST_STRING: {
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return adoptCF<CFTypeRef>(NSString::createWithUTF8(
                std::string_view(text ? text : "", text ? static_cast<std::size_t>(length) : 0)));
        }
        case PLIST_ARRAY:
            return arrayFromNode(node, location, depth, error);
        case PLIST_DICT:
            return dictionaryFromNode(node, location, depth, error);
        case PLIST_DATE:
            *error = "holds a date " + describeLocation(location) + ", which is not supported";
            return nullptr;
        case PLIST_DATA:
            *error = "holds binary data " + describeLocation(location) + ", which is not supported";
            return nullptr;
        default:
            *error = "holds a value of an unknown kind " + describeLocation(location);
            return nullptr;
    }
}

// What a string holds that decides how it can be written.
struct StringCheck {
    bool hasNul = false;
    bool xmlUnsafe = false;  // characters XML 1.0 cannot carry unchanged
};

StringCheck checkString(const std::u16string& units) {
    StringCheck check;
    for (char16_t unit : units) {
        if (unit == 0) {
            check.hasNul = true;
        } else if ((unit < 0x20 && unit != u'\t' && unit != u'\n') || unit == 0xFFFE ||
                   unit == 0xFFFF) {
            // A carriage return would come back as a line feed from an XML reader.
            check.xmlUnsafe = true;
        }
    }
    return check;
}

plist_t nodeFromObject(CFTypeRef object, const std::string& location, int depth, bool* xmlUnsafe,
                       std::string* error);

plist_t stringNode(const NSString* string, const std::string& location, bool* xmlUnsafe,
                   std::string* error) {
    const StringCheck check = checkString(string->units());
    if (check.hasNul) {
        *error = "a string " + describeLocation(location) + " holds a NUL character";
        return nullptr;
    }
    *xmlUnsafe = *xmlUnsafe || check.xmlUnsafe;
    return plist_new_string(string->UTF8String());
}

plist_t nodeFromObject(CFTypeRef object, const std::string& location, int depth, bool* xmlUnsafe,
                       std::string* error) {
    if (depth > kMaxNesting) {
        *error = "nested more than " + std::to_string(kMaxNesting) + " levels deep " +
                 describeLocation(location);
        return nullptr;
    }
    if (object == nullptr) {
        *error = "a null value " + describeLocation(location);
        return nullptr;
    }
    switch (CFGetTypeID(object)) {
        case kCFBooleanTypeID:
            return plist_new_bool(static_cast<const NSNumber*>(object)->boolValue() ? 1 : 0);
        case kCFNumberTypeID: {
            const auto* number = static_cast<const NSNumber*>(object);
            if (number->isReal()) {
                return plist_new_real(number->doubleValue());
            }
            return plist_new_uint(static_cast<std::uint64_t>(number->longLongValue()));
        }
        case kCFStringTypeID:
            return stringNode(static_cast<const NSString*>(object), location, xmlUnsafe, error);
        case kCFArrayTypeID: {
            PlistHolder array(plist_new_array());
            std::size_t index = 0;
            for (const NSObject* element : *static_cast<const NSArray*>(object)) {
                plist_t child =
                    nodeFromObject(element, childLocation(location, std::to_string(index++)),
                                   depth + 1, xmlUnsafe, error);
                if (child == nullptr) {
                    return nullptr;
                }
                plist_array_append_item(array.get(), child);
            }
            return array.release();
        }
        case kCFDictionaryTypeID: {
            PlistHolder dictionary(plist_new_dict());
            for (const auto& [key, value] : *static_cast<const NSDictionary*>(object)) {
                CFStringRef keyString = dynamic_cf_cast<CFStringRef>(key);
                if (keyString == nullptr) {
                    *error = "a key that is not a string " + describeLocation(location);
                    return nullptr;
                }
                const StringCheck check = checkString(keyString->units());
                if (check.hasNul) {
                    *error = "a key " + describeLocation(location) + " holds a NUL character";
                    return nullptr;
                }
                *xmlUnsafe = *xmlUnsafe || check.xmlUnsafe;
                plist_t child = nodeFromObject(value, childLocation(location, keyString->utf8()),
                                               depth + 1, xmlUnsafe, error);
                if (child == nullptr) {
                    return nullptr;
                }
                plist_dict_set_item(dictionary.get(), keyString->UTF8String(), child);
            }
            return dictionary.release();
        }
        default:
            *error = std::string("a ") + object->className() + " " + describeLocation(location) +
                     ", which a property list cannot hold";
            return nullptr;
    }
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Writes all of `bytes`, going on after short writes and interruptions.
bool writeAll(int fd, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, bytes, length);
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

}  // namespace

RetainPtr<CFTypeRef> propertyListFromBytes(std::string_view bytes, std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        reason = "too large for a property list";
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    const PlistHolder holder(root);
    if (root == nullptr) {
        reason = bytes.empty() ? "empty, not a property list"
                               : "not a property list, neither XML nor binary";
        return nullptr;
    }
    return objectFromNode(root, "", 0, &reason);
}

std::optional<std::string> xmlFromPropertyList(CFTypeRef root, std::string* error) {
    std::string ignored;
    bool xmlUnsafe = false;
    const PlistHolder node(nodeFromObject(root, "", 0, &xmlUnsafe, error ? error : &ignored));
    if (!node) {
        return std::nullopt;
    }
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    const std::unique_ptr<char, MallocDeleter> xmlHolder(xml);
    return std::string(xml ? xml : "", xml ? length : 0);
}

bool isPropertyList(CFTypeRef object, std::string* error) {
    std::string ignored;
    bool xmlUnsafe = false;
    return PlistHolder(nodeFromObject(object, "", 0, &xmlUnsafe, error ? error : &ignored)) !=
           nullptr;
}

RetainPtr<CFTypeRef> copyPropertyList(CFTypeRef object, std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    bool xmlUnsafe = false;
    const PlistHolder node(nodeFromObject(object, "", 0, &xmlUnsafe, &reason));
    return node ? objectFromNode(node.get(), "", 0, &reason) : nullptr;
}

PropertyListFile readPropertyListFile(const std::string& path) {
    PropertyListFile file;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        // A file in place of one of its folders means there is no such file either.
        if (errno == ENOENT || errno == ENOTDIR) {
            file.status = PropertyListFile::Status::Missing;
        } else {
            file.status = PropertyListFile::Status::Unreadable;
            file.error = errnoText("cannot be opened");
        }
        return file;
    }
    file.status = PropertyListFile::Status::Unreadable;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        file.error = errnoText("cannot be examined");
        return file;
    }
    if (S_ISDIR(info.st_mode)) {
        file.error = "is a folder, not a file";
        return file;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            file.error = errnoText("cannot be read");
            return file;
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
            file.error = "too large for a property list";
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
    bool xmlUnsafe = false;
    const PlistHolder node(nodeFromObject(root, "", 0, &xmlUnsafe, &reason));
    if (!node) {
        return false;
    }
    // XML for people and tools to read; binary only when a string holds characters that XML
    // cannot carry, so that nothing stored is changed on its way to the disk.
    char* bytes = nullptr;
    std::uint32_t length = 0;
    if (xmlUnsafe) {
        plist_to_bin(node.get(), &bytes, &length);
    } else {
        plist_to_xml(node.get(), &bytes, &length);
    }
    const std::unique_ptr<char, MallocDeleter> bytesHolder(bytes);
    if (bytes == nullptr) {
        reason = "the property list could not be encoded";
        return false;
    }

    const std::filesystem::path target(path);
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::error_code folderError;
    std::filesystem::create_directories(folder, folderError);
    if (folderError) {
        reason = "its folder cannot be made: " + folderError.message();
        return false;
    }

    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) {
        reason = errnoText("a temporary file cannot be made beside it");
        return false;
    }
    struct stat existing {};
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0600;
    const bool written = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), bytes, length) &&
                         ::fsync(fd.get()) == 0;
    const std::string writeError = written ? std::string() : errnoText("cannot be written");
    if (!fd.close() || !written) {
        reason = written ? errnoText("cannot be written") : writeError;
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
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

}  // namespace sim
