#include "LiveDesktop/WebSocketProtocol.h"

#include <algorithm>
#include <limits>

#include "LiveDesktop/Sha1.h"

namespace sim::live {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Appended to a client's key before hashing: the protocol's fixed GUID.
constexpr std::string_view kHandshakeGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

constexpr unsigned kFin = 0x80;
constexpr unsigned kReservedBits = 0x70;
constexpr unsigned kOpcodeBits = 0x0F;
constexpr unsigned kMasked = 0x80;
constexpr unsigned kLengthBits = 0x7F;
// A 7-bit length of 126 or 127 says that a 16-bit or a 64-bit length follows.
constexpr unsigned kLength16 = 126;
constexpr unsigned kLength64 = 127;
constexpr std::size_t kLargestControlPayload = 125;

enum Opcode : unsigned {
    kContinuation = 0x0,
    kText = 0x1,
    kBinary = 0x2,
    kClose = 0x8,
    kPing = 0x9,
    kPong = 0xA,
};

std::string base64(const Sha1Digest& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (count > 1) {
            group |= std::uint32_t{bytes[i + 1]} << 8;
        }
        if (count > 2) {
            group |= bytes[i + 2];
        }
        for (std::size_t digit = 0; digit < 4; ++digit) {
            text += digit <= count ? kBase64Alphabet[group >> (18 - 6 * digit) & 0x3F] : '=';
        }
    }
    return text;
}

WebSocketFrame refused(std::uint16_t code) {
    WebSocketFrame frame;
    frame.kind = WebSocketFrame::Kind::Refused;
    frame.closeCode = code;
    return frame;
}

// Codes a client may put in a close frame: the protocol's own codes that an endpoint sends,
// and the ranges for libraries (3000-3999) and applications (4000-4999).
bool isSendableCloseCode(std::uint16_t code) {
    if (code >= 3000 && code <= 4999) {
        return true;
    }
    return code >= 1000 && code <= 1014 && code != 1004 && code != 1005 && code != 1006;
}

std::uint64_t bigEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (const char byte : bytes) {
        value = value << 8 | static_cast<unsigned char>(byte);
    }
    return value;
}

// A frame as the server writes it: FIN set, unmasked, the length in its shortest form.
std::string serverFrame(Opcode opcode, std::string_view payload) {
    std::string frame(1, static_cast<char>(kFin | opcode));
    const std::uint64_t length = payload.size();
    int lengthBytes = 0;
    if (length < kLength16) {
        frame += static_cast<char>(length);
    } else if (length <= std::numeric_limits<std::uint16_t>::max()) {
        frame += static_cast<char>(kLength16);
        lengthBytes = 2;
    } else {
        frame += static_cast<char>(kLength64);
        lengthBytes = 8;
    }
    for (int shift = 8 * (lengthBytes - 1); shift >= 0; shift -= 8) {
        frame += static_cast<char>(length >> shift & 0xFF);
    }
    frame += payload;
    return frame;
}

}  // namespace

std::string webSocketAccept(std::string_view key) {
    std::string keyed(key);
    keyed += kHandshakeGuid;
    return base64(sha1(keyed));
}

bool isWebSocketKey(std::string_view key) {
    if (key.size() != 24 || !key.ends_with("==")) {
        return false;
    }
    const std::string_view digits = key.substr(0, 22);
    if (digits.find_first_not_of(kBase64Alphabet) != std::string_view::npos) {
        return false;
    }
    // The last digit carries 2 bits of the 16th byte; its other 4 bits must be zero.
    return (kBase64Alphabet.find(digits.back()) & 0x0F) == 0;
}

WebSocketFrame firstWebSocketFrame(std::string_view bytes, std::size_t largestPayload) {
    if (bytes.size() < 2) {
        return {};
    }
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    const bool fin = (first & kFin) != 0;
    const unsigned opcode = first & kOpcodeBits;
    const unsigned shortLength = second & kLengthBits;
    const bool control = opcode == kClose || opcode == kPing || opcode == kPong;

    if ((first & kReservedBits) != 0 || (second & kMasked) == 0) {
        return refused(kCloseProtocolError);
    }
    if (opcode == kContinuation || opcode == kBinary || (opcode == kText && !fin)) {
        return refused(kCloseUnsupportedData);
    }
    if (opcode != kText && !control) {
        return refused(kCloseProtocolError);
    }
    // Control frames come whole and short, so that they can come between a message's frames.
    if (control && (!fin || shortLength > kLargestControlPayload)) {
        return refused(kCloseProtocolError);
    }

    std::size_t lengthBytes = 0;
    if (shortLength == kLength16) {
        lengthBytes = 2;
    } else if (shortLength == kLength64) {
        lengthBytes = 8;
    }
    if (bytes.size() < 2 + lengthBytes) {
        return {};
    }
    std::uint64_t payloadLength = shortLength;
    if (lengthBytes != 0) {
        payloadLength = bigEndian(bytes.substr(2, lengthBytes));
        // A length must take the shortest form that holds it, and a 64-bit one has its top bit
        // clear.
        const bool minimal = lengthBytes == 2 ? payloadLength >= kLength16
                                              : payloadLength > 0xFFFF && payloadLength >> 63 == 0;
        if (!minimal) {
            return refused(kCloseProtocolError);
        }
    }
    if (opcode == kText && payloadLength > largestPayload) {
        return refused(kCloseMessageTooBig);
    }

    const std::size_t headerSize = 2 + lengthBytes + 4;
    // Compared with what is left after the header: adding a 64-bit length to the header's size
    // could overflow.
    if (bytes.size() < headerSize || payloadLength > bytes.size() - headerSize) {
        return {};
    }
    const std::string_view mask = bytes.substr(2 + lengthBytes, 4);
    WebSocketFrame frame;
    frame.length = headerSize + static_cast<std::size_t>(payloadLength);
    frame.payload.assign(bytes.substr(headerSize, static_cast<std::size_t>(payloadLength)));
    for (std::size_t i = 0; i < frame.payload.size(); ++i) {
        frame.payload[i] = static_cast<char>(frame.payload[i] ^ mask[i % 4]);
    }

    switch (opcode) {
        case kText:
            frame.kind = WebSocketFrame::Kind::Text;
            break;
        case kPing:
            frame.kind = WebSocketFrame::Kind::Ping;
            break;
        case kPong:
            frame.kind = WebSocketFrame::Kind::Pong;
            break;
        default: {
            // A close frame has no payload, or a 2-byte code and a reason that nobody reads.
            if (frame.payload.size() == 1) {
                return refused(kCloseProtocolError);
            }
            frame.closeCode = frame.payload.empty()
                                  ? kCloseNormal
                                  : static_cast<std::uint16_t>(
                                        bigEndian(std::string_view(frame.payload).substr(0, 2)));
            if (!isSendableCloseCode(frame.closeCode)) {
                return refused(kCloseProtocolError);
            }
            frame.kind = WebSocketFrame::Kind::Close;
            break;
        }
    }
    return frame;
}

std::string webSocketTextFrame(std::string_view text) {
    return serverFrame(kText, text);
}

// A pong carries the ping's payload, which a parsed ping keeps within a control frame's 125
// bytes; anything longer is cut there so that the frame stays a valid control frame.
std::string webSocketPongFrame(std::string_view payload) {
    return serverFrame(kPong, payload.substr(0, kLargestControlPayload));
}

std::string webSocketCloseFrame(std::uint16_t code) {
    const std::string codeBytes{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    return serverFrame(kClose, codeBytes);
}

}  // namespace sim::live
