#include "LiveDesktop/Sha1.h"

#include <cstddef>
#include <string>

namespace sim::live {
namespace {

constexpr std::size_t kBlockSize = 64;

std::uint32_t rotatedLeft(std::uint32_t word, int bits) {
    return (word << bits) | (word >> (32 - bits));
}

// One 64-byte block folded into the five state words.
void addBlock(std::array<std::uint32_t, 5>& state, const unsigned char* block) {
    std::array<std::uint32_t, 80> words{};
    for (std::size_t i = 0; i < 16; ++i) {
        words[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
                   std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
    }
    for (std::size_t i = 16; i < 80; ++i) {
        words[i] = rotatedLeft(words[i - 3] ^ words[i - 8] ^ words[i - 14] ^ words[i - 16], 1);
    }
    auto [a, b, c, d, e] = state;
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t mixed = 0;
        std::uint32_t constant = 0;
        if (i < 20) {
            mixed = (b & c) | (~b & d);
            constant = 0x5A827999;
        } else if (i < 40) {
            mixed = b ^ c ^ d;
            constant = 0x6ED9EBA1;
        } else if (i < 60) {
            mixed = (b & c) | (b & d) | (c & d);
            constant = 0x8F1BBCDC;
        } else {
            mixed = b ^ c ^ d;
            constant = 0xCA62C1D6;
        }
        const std::uint32_t next = rotatedLeft(a, 5) + mixed + e + constant + words[i];
        e = d;
        d = c;
        c = rotatedLeft(b, 30);
        b = a;
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

Sha1Digest sha1(std::string_view bytes) {
    std::array<std::uint32_t, 5> state{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const std::size_t whole = bytes.size() - bytes.size() % kBlockSize;
    for (std::size_t offset = 0; offset < whole; offset += kBlockSize) {
        addBlock(state, reinterpret_cast<const unsigned char*>(bytes.data() + offset));
    }
    // The last bytes, a 1 bit, zeros up to 8 bytes short of a block's end, and the message's
    // length in bits, big-endian: one block or two.
    std::string tail(bytes.substr(whole));
    tail += '\x80';
    tail.append((kBlockSize + kBlockSize - 8 - tail.size() % kBlockSize) % kBlockSize, '\0');
    const std::uint64_t bits = std::uint64_t{bytes.size()} * 8;
    for (int shift = 56; shift >= 0; shift -= 8) {
        tail += static_cast<char>(bits >> shift & 0xFF);
    }
    for (std::size_t offset = 0; offset < tail.size(); offset += kBlockSize) {
        addBlock(state, reinterpret_cast<const unsigned char*>(tail.data() + offset));
    }
    Sha1Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)) & 0xFF);
    }
    return digest;
}

}  // namespace sim::live
