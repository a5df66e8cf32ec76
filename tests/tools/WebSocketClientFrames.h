// Frames as a WebSocket client sends them, for the tests: masked, with a fixed key.
#pragma once

#include <cstddef>
#include <string>

inline const std::string kClientMask = "\x37\xfa\x21\x3d";

// A server frame made into a client's: the MASK bit, a key after the length, the payload masked.
inline std::string masked(std::string frame) {
    const auto shortLength = static_cast<unsigned char>(frame[1]);
    const std::size_t header = shortLength == 126 ? 4 : shortLength == 127 ? 10 : 2;
    frame[1] = static_cast<char>(shortLength | 0x80);
    for (std::size_t i = header; i < frame.size(); ++i) {
        frame[i] = static_cast<char>(frame[i] ^ kClientMask[(i - header) % 4]);
    }
    return frame.insert(header, kClientMask);
}

// A client frame with its first byte (FIN and opcode) and a payload under 126 bytes.
inline std::string clientFrame(unsigned char first, const std::string& payload) {
    return masked(std::string{static_cast<char>(first), static_cast<char>(payload.size())} +
                  payload);
}
