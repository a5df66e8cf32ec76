// The WebSocket protocol's pieces the live desktop's server needs, with no socket behind them:
// the handshake's accept value, the first frame in the bytes a client sent, and the frames the
// server writes. The server takes text messages in single frames only (a browser sends a short
// message so); a fragmented or binary message, an unmasked frame, reserved bits or an unknown
// opcode end the connection with the close code that says why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim::live {

// Close codes the server sends.
inline constexpr std::uint16_t kCloseNormal = 1000;
inline constexpr std::uint16_t kCloseGoingAway = 1001;
inline constexpr std::uint16_t kCloseProtocolError = 1002;
inline constexpr std::uint16_t kCloseUnsupportedData = 1003;
inline constexpr std::uint16_t kClosePolicyViolation = 1008;
inline constexpr std::uint16_t kCloseMessageTooBig = 1009;

// Sec-WebSocket-Accept for a handshake's Sec-WebSocket-Key: the base64 of the SHA-1 of the key
// followed by the protocol's GUID.
std::string webSocketAccept(std::string_view key);
// Whether a Sec-WebSocket-Key is what a client must send: 16 bytes in base64 (24 characters).
bool isWebSocketKey(std::string_view key);

struct WebSocketFrame {
    enum class Kind {
        Incomplete,  // not all of the frame is here yet
        Text,        // a whole text message
        Ping,
        Pong,
        Close,    // the client closes: answer with `closeCode` and close
        Refused,  // the connection ends with `closeCode`
    };
    Kind kind = Kind::Incomplete;
    std::size_t length = 0;  // bytes the frame takes in the buffer (not Incomplete or Refused)
    std::string payload;     // unmasked
    // Close: the client's code, or 1000 when it gave none; Refused: why the server ends it.
    std::uint16_t closeCode = 0;
};

// The first frame a client sent in `bytes`. A message payload over `largestPayload` is Refused
// with 1009 as soon as its length is known.
WebSocketFrame firstWebSocketFrame(std::string_view bytes, std::size_t largestPayload);

// Frames the server sends (unmasked, whole).
std::string webSocketTextFrame(std::string_view text);
std::string webSocketPongFrame(std::string_view payload);
std::string webSocketCloseFrame(std::uint16_t code);

}  // namespace sim::live
