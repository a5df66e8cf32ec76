// Binary property lists put together object by object, for files that no ordinary writer makes:
// keys holding NUL, integers wider than 64 bits, deep nesting, shared and circular references.
// Object references are 4 bytes and offsets 8 bytes wide, whatever the file holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class BinaryPropertyListBytes {
public:
    // Adds an object encoded by one of the functions below; the answer is its reference.
    std::uint32_t add(std::string encoded) {
        objects_.push_back(std::move(encoded));
        return static_cast<std::uint32_t>(objects_.size() - 1);
    }

    // The whole file, with `top` as its root object.
    std::string file(std::uint32_t top = 0) const {
        std::string bytes = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const std::string& object : objects_) {
            offsets.push_back(bytes.size());
            bytes += object;
        }
        const std::uint64_t table = bytes.size();
        for (std::uint64_t offset : offsets) {
            bytes += bigEndian(offset, 8);
        }
        bytes += std::string(6, '\0');
        bytes += '\x08';  // offset size
        bytes += '\x04';  // reference size
        bytes += bigEndian(objects_.size(), 8) + bigEndian(top, 8) + bigEndian(table, 8);
        return bytes;
    }

    static std::string ascii(std::string_view text) {
        return counted(0x50, text.size()) + std::string(text);
    }
    static std::string utf16(std::u16string_view text) {
        std::string encoded = counted(0x60, text.size());
        for (char16_t unit : text) {
            encoded += bigEndian(unit, 2);
        }
        return encoded;
    }
    // A 128-bit integer, as writers store values beyond the signed 64-bit range.
    static std::string integer128(std::uint64_t high, std::uint64_t low) {
        return "\x14" + bigEndian(high, 8) + bigEndian(low, 8);
    }
    static std::string array(const std::vector<std::uint32_t>& references) {
        return counted(0xA0, references.size()) + referenceBytes(references);
    }
    static std::string dictionary(const std::vector<std::uint32_t>& keys,
                                  const std::vector<std::uint32_t>& values) {
        return counted(0xD0, keys.size()) + referenceBytes(keys) + referenceBytes(values);
    }

private:
    static std::string bigEndian(std::uint64_t value, int width) {
        std::string bytes;
        for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((value >> shift) & 0xFF);
        }
        return bytes;
    }
    // A marker whose low four bits give the count, or 0xF and the count as an integer object.
    static std::string counted(std::uint8_t kind, std::size_t count) {
        if (count < 15) {
            return std::string(1, static_cast<char>(kind | count));
        }
        return std::string(1, static_cast<char>(kind | 0x0F)) + "\x13" + bigEndian(count, 8);
    }
    static std::string referenceBytes(const std::vector<std::uint32_t>& references) {
        std::string bytes;
        for (std::uint32_t reference : references) {
            bytes += bigEndian(reference, 4);
        }
        return bytes;
    }

    std::vector<std::string> objects_;
};
