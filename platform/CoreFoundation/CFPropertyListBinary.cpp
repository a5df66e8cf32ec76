// Binary property lists ("bplist00"): a header, the objects, a table of their offsets and a
// trailer that gives the table's place, the widths of offsets and object references, the number
// of objects and the top one. The reader checks every offset, reference and length against the
// file before it reads, walks the object graph with a stack of its own (so depth costs no
// native stack), refuses a container that holds itself, and counts every value it builds, so a
// file whose references are shared many times over cannot make it build more than the limit.
// Leaves (strings, numbers, dates, data) are immutable and made once per object; containers
// are made afresh for every reference, mutable.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include "CoreFoundation/CFPropertyListEncodingInternal.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "TypeCastsCF.h"

namespace frameworks {

namespace {

constexpr std::string_view kHeader = "bplist00";
constexpr std::size_t kTrailerSize = 32;

enum Marker : std::uint8_t {
    kMarkerSimple = 0x00,  // null, false, true, fill
    kMarkerInteger = 0x10,
    kMarkerReal = 0x20,
    kMarkerDate = 0x30,
    kMarkerData = 0x40,
    kMarkerASCII = 0x50,
    kMarkerUTF16 = 0x60,
    kMarkerUID = 0x80,
    kMarkerArray = 0xA0,
    kMarkerSet = 0xC0,
    kMarkerDictionary = 0xD0,
};
constexpr std::uint8_t kFalse = 0x08;
constexpr std::uint8_t kTrue = 0x09;

// Why a read stops. The reader gives up at the first fault, from wherever it is in its helpers
// (a number, an escape, an offset table); the throw unwinds to the one catch at the reader's
// entry, which hands the reason out through `error`. Nothing leaves the reader as an exception,
// and what it built so far is held by RetainPtr, so unwinding releases it.
struct Failure {
    std::string reason;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    RetainPtr<CFTypeRef> read() {
        readTrailer();
        onPath_.assign(objectCount_, false);
        const Object top = object(topObject_);
        if (!isContainer(top)) {
            return leaf(topObject_, top);
        }
        RetainPtr<CFTypeRef> root = push(topObject_, top);
        while (!stack_.empty()) {
            step();
        }
        return root;
    }

private:
    // Where an object's content lies: its marker's kind and low four bits, its count, and the
    // first byte after the marker and count.
    struct Object {
        std::uint8_t kind = 0;
        std::uint8_t low = 0;
        std::uint64_t count = 0;
        std::uint64_t content = 0;
    };

    // A value's name inside its container: a key, or an index in an array. None for the top.
    struct Name {
        RetainPtr<CFStringRef> key;
        std::uint64_t index = 0;
        bool present = false;
    };

    struct Frame {
        std::uint64_t object = 0;
        // The container being filled, one of the two; owned by its parent, or by the root
        // holder.
        NSMutableDictionary* dictionary = nullptr;
        NSMutableArray* array = nullptr;
        std::uint64_t references = 0;  // the position of the first reference
        std::uint64_t count = 0;       // elements, or pairs for a dictionary
        std::uint64_t next = 0;
        Name name;
    };

    static bool isContainer(const Object& object) {
        return object.kind == kMarkerArray || object.kind == kMarkerDictionary;
    }

    // The location of the value being read, made only when it is needed for a message.
    std::string location() const {
        std::string path;
        const auto add = [&path](const Name& name) {
            if (name.present) {
                path =
                    childLocation(path, name.key ? name.key->utf8() : std::to_string(name.index));
            }
        };
        for (const Frame& frame : stack_) {
            add(frame.name);
        }
        add(current_);
        return path;
    }

    // Fails with "<what> at <location><rest>".
    [[noreturn]] void fail(const std::string& what, const std::string& rest = "") const {
        throw Failure{what + " " + describeLocation(location()) + rest};
    }
    [[noreturn]] void failWhole(const std::string& reason) const { throw Failure{reason}; }

    std::uint64_t bigEndian(std::uint64_t position, unsigned width) const {
        std::uint64_t value = 0;
        for (unsigned index = 0; index < width; ++index) {
            value = (value << 8) | static_cast<unsigned char>(bytes_[position + index]);
        }
        return value;
    }

    // Objects lie between the header and the offset table.
    void requireObjectBytes(std::uint64_t position, std::uint64_t length) const {
        if (position > tableOffset_ || length > tableOffset_ - position) {
            fail("an object", " runs past the objects' end");
        }
    }

    void readTrailer() {
        if (bytes_.size() < kHeader.size() + 2 + kTrailerSize) {
            failWhole("a binary property list too short to hold anything");
        }
        const std::uint64_t trailer = bytes_.size() - kTrailerSize;
        offsetSize_ = static_cast<unsigned char>(bytes_[trailer + 6]);
        referenceSize_ = static_cast<unsigned char>(bytes_[trailer + 7]);
        objectCount_ = bigEndian(trailer + 8, 8);
        topObject_ = bigEndian(trailer + 16, 8);
        tableOffset_ = bigEndian(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8) {
            failWhole("a binary property list with offsets or references of an impossible width");
        }
        if (tableOffset_ <= kHeader.size() || tableOffset_ > trailer || objectCount_ == 0 ||
            objectCount_ > (trailer - tableOffset_) / offsetSize_ || topObject_ >= objectCount_) {
            failWhole("a binary property list whose trailer does not match its size");
        }
    }

    Object object(std::uint64_t objectIndex) const {
        std::uint64_t position = bigEndian(tableOffset_ + objectIndex * offsetSize_, offsetSize_);
        if (position < kHeader.size() || position >= tableOffset_) {
            fail("an object", " lies outside the objects");
        }
        Object result;
        const auto marker = static_cast<unsigned char>(bytes_[position++]);
        result.kind = marker & 0xF0;
        result.low = marker & 0x0F;
        result.count = result.low;
        const bool counted = result.kind == kMarkerData || result.kind == kMarkerASCII ||
                             result.kind == kMarkerUTF16 || result.kind == kMarkerArray ||
                             result.kind == kMarkerSet || result.kind == kMarkerDictionary;
        if (counted && result.low == 0x0F) {
            // The count follows as an integer object of 1, 2, 4 or 8 bytes.
            requireObjectBytes(position, 1);
            const auto countMarker = static_cast<unsigned char>(bytes_[position++]);
            if ((countMarker & 0xF0) != kMarkerInteger || (countMarker & 0x0F) > 3) {
                fail("an object", " has a malformed length");
            }
            const unsigned width = 1u << (countMarker & 0x0F);
            requireObjectBytes(position, width);
            result.count = bigEndian(position, width);
            position += width;
        }
        result.content = position;
        return result;
    }

    std::uint64_t reference(std::uint64_t position) const {
        const std::uint64_t target = bigEndian(position, referenceSize_);
        if (target >= objectCount_) {
            fail("a reference", " to an object that is not there");
        }
        return target;
    }

    void countValue() {
        if (++values_ > kPropertyListMaxValues) {
            failWhole("more than " + std::to_string(kPropertyListMaxValues) +
                      " values once every shared reference is followed");
        }
    }

    // An empty container for the object, put on the stack under the current name; the caller
    // places it in its parent.
    RetainPtr<CFTypeRef> push(std::uint64_t objectIndex, const Object& object) {
        if (stack_.size() > kPropertyListMaxNesting) {
            fail("nested more than " + std::to_string(kPropertyListMaxNesting) + " levels deep");
        }
        if (onPath_[objectIndex]) {
            fail("a container", " contains itself");
        }
        const bool dictionary = object.kind == kMarkerDictionary;
        if (object.count > tableOffset_ ||
            (dictionary ? 2 : 1) * object.count > tableOffset_ / referenceSize_) {
            fail("a container", " runs past the objects' end");
        }
        requireObjectBytes(object.content, (dictionary ? 2 : 1) * object.count * referenceSize_);
        Frame frame;
        RetainPtr<CFTypeRef> made;
        if (dictionary) {
            RetainPtr<NSMutableDictionary*> container = adoptCF(NSMutableDictionary::create());
            frame.dictionary = container.get();
            made = RetainPtr<CFTypeRef>(std::move(container));
        } else {
            // No room is set aside for the count the file claims: it is only a claim.
            RetainPtr<NSMutableArray*> container = adoptCF(NSMutableArray::create());
            frame.array = container.get();
            made = RetainPtr<CFTypeRef>(std::move(container));
        }
        frame.object = objectIndex;
        frame.references = object.content;
        frame.count = object.count;
        frame.name = std::exchange(current_, Name{});
        onPath_[objectIndex] = true;
        stack_.push_back(std::move(frame));
        return made;
    }

    // Places the next element of the innermost container, or takes the container off the
    // stack when it is full.
    void step() {
        Frame& frame = stack_.back();
        if (frame.next == frame.count) {
            onPath_[frame.object] = false;
            stack_.pop_back();
            return;
        }
        const std::uint64_t slot = frame.next++;
        NSMutableDictionary* const dictionary = frame.dictionary;
        NSMutableArray* const array = frame.array;
        const std::uint64_t valuePosition =
            frame.references + (dictionary ? frame.count + slot : slot) * referenceSize_;
        current_ = Name{};
        if (dictionary) {
            countValue();
            const std::uint64_t keyIndex = reference(frame.references + slot * referenceSize_);
            const Object keyObject = object(keyIndex);
            if (keyObject.kind != kMarkerASCII && keyObject.kind != kMarkerUTF16) {
                fail("a key that is not a string");
            }
            RetainPtr<CFTypeRef> key = leaf(keyIndex, keyObject);
            current_.key = dynamic_cf_cast<CFStringRef>(std::move(key));
        } else {
            current_.index = slot;
        }
        current_.present = true;
        countValue();
        const std::uint64_t valueIndex = reference(valuePosition);
        const Object value = object(valueIndex);
        const RetainPtr<CFStringRef> key = current_.key;
        // `frame` is not used from here on: push() may move the stack.
        const RetainPtr<CFTypeRef> made =
            isContainer(value) ? push(valueIndex, value) : leaf(valueIndex, value);
        if (dictionary) {
            dictionary->setObject(made.get(), key.get());
        } else {
            array->addObject(made.get());
        }
    }

    RetainPtr<CFTypeRef> leaf(std::uint64_t objectIndex, const Object& object) {
        const auto found = leaves_.find(objectIndex);
        if (found != leaves_.end()) {
            return found->second;
        }
        RetainPtr<CFTypeRef> made = makeLeaf(object);
        leaves_.emplace(objectIndex, made);
        return made;
    }

    RetainPtr<CFTypeRef> makeLeaf(const Object& object) const {
        switch (object.kind) {
            case kMarkerSimple:
                if (object.low == (kTrue & 0x0F) || object.low == (kFalse & 0x0F)) {
                    return retainPtr<CFTypeRef>(object.low == (kTrue & 0x0F) ? kCFBooleanTrue
                                                                             : kCFBooleanFalse);
                }
                fail("a null or filler object", ", which a property list cannot hold");
            case kMarkerInteger:
                return integer(object);
            case kMarkerReal:
                return real(object);
            case kMarkerDate:
                if (object.low != 3) {
                    fail("a date", " of an unknown width");
                }
                requireObjectBytes(object.content, 8);
                return adoptCF<CFTypeRef>(
                    NSDate::createWithTimeIntervalSinceReferenceDate(doubleAt(object.content)));
            case kMarkerData:
                requireObjectBytes(object.content, object.count);
                return adoptCF<CFTypeRef>(
                    NSData::create(bytes_.data() + object.content, object.count));
            case kMarkerASCII:
                return asciiString(object);
            case kMarkerUTF16:
                return utf16String(object);
            case kMarkerUID:
                fail("a keyed-archive reference", ", which a property list cannot hold");
            case kMarkerSet:
                fail("a set", ", which a property list cannot hold");
            default:
                fail("an object of an unknown kind");
        }
    }

    double doubleAt(std::uint64_t position) const {
        const std::uint64_t bits = bigEndian(position, 8);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    RetainPtr<CFTypeRef> integer(const Object& object) const {
        if (object.low > 4) {
            fail("an integer", " of an unknown width");
        }
        const unsigned width = 1u << object.low;
        requireObjectBytes(object.content, width);
        if (width <= 8) {
            // 1, 2 and 4 bytes hold unsigned values, 8 bytes a signed one.
            return adoptCF<CFTypeRef>(NSNumber::createWithLongLong(
                static_cast<long long>(bigEndian(object.content, width))));
        }
        // 16 bytes: a signed 128-bit value. What fits 64 bits (unsigned, or signed negative) is
        // read; anything wider is refused rather than cut to a different number.
        const std::uint64_t high = bigEndian(object.content, 8);
        const std::uint64_t low = bigEndian(object.content + 8, 8);
        if (high == 0) {
            return adoptCF<CFTypeRef>(NSNumber::createWithUnsignedLongLong(low));
        }
        if (high == ~std::uint64_t{0} && (low >> 63) != 0) {
            return adoptCF<CFTypeRef>(NSNumber::createWithLongLong(static_cast<long long>(low)));
        }
        fail("an integer", " that does not fit in 64 bits");
    }

    RetainPtr<CFTypeRef> real(const Object& object) const {
        if (object.low == 2) {
            requireObjectBytes(object.content, 4);
            const auto bits = static_cast<std::uint32_t>(bigEndian(object.content, 4));
            float value = 0;
            std::memcpy(&value, &bits, sizeof value);
            return adoptCF<CFTypeRef>(NSNumber::createWithDouble(value));
        }
        if (object.low == 3) {
            requireObjectBytes(object.content, 8);
            return adoptCF<CFTypeRef>(NSNumber::createWithDouble(doubleAt(object.content)));
        }
        fail("a real", " of an unknown width");
    }

    RetainPtr<CFTypeRef> asciiString(const Object& object) const {
        requireObjectBytes(object.content, object.count);
        std::u16string units;
        units.reserve(object.count);
        for (std::uint64_t index = 0; index < object.count; ++index) {
            const auto byte = static_cast<unsigned char>(bytes_[object.content + index]);
            if (byte == 0) {
                fail(current_.present || stack_.empty() ? "a string" : "a key",
                     " holds a NUL character");
            }
            if (byte >= 0x80) {
                fail("an ASCII string", " holds a byte beyond ASCII");
            }
            units += static_cast<char16_t>(byte);
        }
        return adoptCF<CFTypeRef>(NSString::create(std::move(units)));
    }

    RetainPtr<CFTypeRef> utf16String(const Object& object) const {
        if (object.count > tableOffset_) {
            fail("an object", " runs past the objects' end");
        }
        requireObjectBytes(object.content, object.count * 2);
        std::u16string units;
        units.reserve(object.count);
        for (std::uint64_t index = 0; index < object.count; ++index) {
            const auto unit = static_cast<char16_t>(bigEndian(object.content + index * 2, 2));
            if (unit == 0) {
                fail(current_.present || stack_.empty() ? "a string" : "a key",
                     " holds a NUL character");
            }
            units += unit;
        }
        return adoptCF<CFTypeRef>(NSString::create(std::move(units)));
    }

    std::string_view bytes_;
    unsigned offsetSize_ = 0;
    unsigned referenceSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t topObject_ = 0;
    std::uint64_t tableOffset_ = 0;

    std::vector<Frame> stack_;
    Name current_;              // the name of the value being read in the innermost container
    std::vector<bool> onPath_;  // containers on the stack, by object
    std::unordered_map<std::uint64_t, RetainPtr<CFTypeRef>> leaves_;
    std::size_t values_ = 1;  // the top object
};

// --- Writing

class Writer {
public:
    std::string write(CFTypeRef root) {
        add(root);
        referenceSize_ = widthFor(items_.size() - 1);
        std::string bytes(kHeader);
        std::vector<std::uint64_t> offsets;
        offsets.reserve(items_.size());
        for (const Item& item : items_) {
            offsets.push_back(bytes.size());
            encode(item, &bytes);
        }
        const std::uint64_t table = bytes.size();
        const unsigned offsetSize = widthFor(offsets.empty() ? 0 : offsets.back());
        for (std::uint64_t offset : offsets) {
            appendBigEndian(offset, offsetSize, &bytes);
        }
        bytes.append(6, '\0');
        bytes += static_cast<char>(offsetSize);
        bytes += static_cast<char>(referenceSize_);
        appendBigEndian(items_.size(), 8, &bytes);
        appendBigEndian(0, 8, &bytes);  // the top object comes first
        appendBigEndian(table, 8, &bytes);
        return bytes;
    }

private:
    struct Item {
        CFTypeRef object = nullptr;
        std::vector<std::uint64_t> references;  // keys first, then values, for a dictionary
    };

    static unsigned widthFor(std::uint64_t largest) {
        return largest <= 0xFF ? 1 : largest <= 0xFFFF ? 2 : largest <= 0xFFFFFFFF ? 4 : 8;
    }

    static void appendBigEndian(std::uint64_t value, unsigned width, std::string* bytes) {
        for (int shift = static_cast<int>(width - 1) * 8; shift >= 0; shift -= 8) {
            *bytes += static_cast<char>((value >> shift) & 0xFF);
        }
    }

    // Items in the order they are written; a checked property list nests at most
    // kPropertyListMaxNesting levels, so this recursion is bounded.
    std::uint64_t add(CFTypeRef object) {
        const std::uint64_t index = items_.size();
        items_.push_back({object, {}});
        std::vector<std::uint64_t> references;
        if (CFArrayRef array = dynamic_cf_cast<CFArrayRef>(object)) {
            for (const NSObject* element : *array) {
                references.push_back(add(element));
            }
        } else if (CFDictionaryRef dictionary = dynamic_cf_cast<CFDictionaryRef>(object)) {
            std::vector<std::uint64_t> values;
            for (const auto& [key, value] : *dictionary) {
                references.push_back(add(key));
                values.push_back(add(value));
            }
            references.insert(references.end(), values.begin(), values.end());
        }
        items_[index].references = std::move(references);
        return index;
    }

    static void appendMarker(std::uint8_t kind, std::uint64_t count, std::string* bytes) {
        if (count < 0x0F) {
            *bytes += static_cast<char>(kind | count);
            return;
        }
        *bytes += static_cast<char>(kind | 0x0F);
        const unsigned width = widthFor(count);
        *bytes += static_cast<char>(kMarkerInteger | (width == 1   ? 0
                                                      : width == 2 ? 1
                                                      : width == 4 ? 2
                                                                   : 3));
        appendBigEndian(count, width, bytes);
    }

    static void appendInteger(const NSNumber* number, std::string* bytes) {
        if (number->isUnsignedBeyondLongLong()) {
            *bytes += static_cast<char>(kMarkerInteger | 4);
            appendBigEndian(0, 8, bytes);
            appendBigEndian(number->unsignedLongLongValue(), 8, bytes);
            return;
        }
        const long long value = number->longLongValue();
        if (value < 0 || value > 0xFFFFFFFFLL) {
            *bytes += static_cast<char>(kMarkerInteger | 3);
            appendBigEndian(static_cast<std::uint64_t>(value), 8, bytes);
            return;
        }
        const unsigned width = widthFor(static_cast<std::uint64_t>(value));
        *bytes += static_cast<char>(kMarkerInteger | (width == 1 ? 0 : width == 2 ? 1 : 2));
        appendBigEndian(static_cast<std::uint64_t>(value), width, bytes);
    }

    static void appendDouble(std::uint8_t marker, double value, std::string* bytes) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        *bytes += static_cast<char>(marker);
        appendBigEndian(bits, 8, bytes);
    }

    void appendReferences(const std::vector<std::uint64_t>& references, std::string* bytes) const {
        for (std::uint64_t reference : references) {
            appendBigEndian(reference, referenceSize_, bytes);
        }
    }

    void encode(const Item& item, std::string* bytes) const {
        CFTypeRef object = item.object;
        switch (CFGetTypeID(object)) {
            case kCFBooleanTypeID:
                *bytes += static_cast<char>(
                    static_cast<const NSNumber*>(object)->boolValue() ? kTrue : kFalse);
                return;
            case kCFNumberTypeID: {
                const auto* number = static_cast<const NSNumber*>(object);
                if (number->isReal()) {
                    appendDouble(kMarkerReal | 3, number->doubleValue(), bytes);
                } else {
                    appendInteger(number, bytes);
                }
                return;
            }
            case kCFDateTypeID:
                appendDouble(kMarkerDate | 3,
                             static_cast<const NSDate*>(object)->timeIntervalSinceReferenceDate(),
                             bytes);
                return;
            case kCFDataTypeID: {
                const auto* data = static_cast<const NSData*>(object);
                appendMarker(kMarkerData, data->length(), bytes);
                bytes->append(data->view());
                return;
            }
            case kCFStringTypeID: {
                const std::u16string& units = static_cast<const NSString*>(object)->units();
                const bool ascii = std::all_of(units.begin(), units.end(),
                                               [](char16_t unit) { return unit < 0x80; });
                appendMarker(ascii ? kMarkerASCII : kMarkerUTF16, units.size(), bytes);
                for (char16_t unit : units) {
                    appendBigEndian(unit, ascii ? 1 : 2, bytes);
                }
                return;
            }
            case kCFArrayTypeID:
                appendMarker(kMarkerArray, item.references.size(), bytes);
                appendReferences(item.references, bytes);
                return;
            case kCFDictionaryTypeID:
                appendMarker(kMarkerDictionary, item.references.size() / 2, bytes);
                appendReferences(item.references, bytes);
                return;
            default:
                return;  // checked before: nothing else reaches here
        }
    }

    std::vector<Item> items_;
    unsigned referenceSize_ = 1;
};

}  // namespace

bool hasBinaryPropertyListHeader(std::string_view bytes) {
    return bytes.substr(0, 6) == "bplist";
}

RetainPtr<CFTypeRef> readBinaryPropertyList(std::string_view bytes, std::string* error) {
    if (bytes.substr(0, kHeader.size()) != kHeader) {
        *error = "a binary property list of a version other than 00";
        return nullptr;
    }
    try {
        return Reader(bytes).read();
    } catch (const Failure& failure) {
        *error = failure.reason;
        return nullptr;
    }
}

std::string binaryPropertyList(CFTypeRef root) {
    return Writer().write(root);
}

}  // namespace frameworks
