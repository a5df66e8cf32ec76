// The live desktop's WebSocket frame reader on any bytes, read as a client's stream of frames:
// frame after frame until one is not whole or is refused, as the server reads a connection.
// Besides crashes and undefined behaviour: a whole frame lies within the bytes and is no longer
// whole without its last byte, its payload keeps to its bound, a refusal gives one of the codes
// the server sends, and what the server would write back (the text again, a pong, the close
// code) reads back the same once a client has masked it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "../tests/tools/WebSocketClientFrames.h"  // frames masked as a client masks them
#include "FuzzCheck.h"
#include "LiveDesktop/WebSocketProtocol.h"

namespace {

using sim::live::firstWebSocketFrame;
using sim::live::WebSocketFrame;
using Kind = WebSocketFrame::Kind;

constexpr std::size_t kLargestPayload = 4096;
constexpr std::size_t kLargestControlPayload = 125;

void requireReadsBack(const std::string& written, Kind kind, const WebSocketFrame& sent) {
    const std::string client = masked(written);
    const WebSocketFrame read = firstWebSocketFrame(client, kLargestPayload);
    fuzzRequire(read.kind == kind, "a written frame, masked, reads back as its kind");
    fuzzRequire(read.length == client.size(), "a written frame, masked, is read whole");
    fuzzRequire(
        kind == Kind::Close ? read.closeCode == sent.closeCode : read.payload == sent.payload,
        "a written frame, masked, reads back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (;;) {
        const WebSocketFrame frame = firstWebSocketFrame(rest, kLargestPayload);
        if (frame.kind == Kind::Incomplete || frame.kind == Kind::Refused) {
            fuzzRequire(frame.length == 0, "a frame not read takes no bytes");
            fuzzRequire(frame.kind == Kind::Incomplete || frame.closeCode == 1002 ||
                            frame.closeCode == 1003 || frame.closeCode == 1009,
                        "a refusal gives a code the server sends");
            return 0;
        }
        fuzzRequire(frame.length > 0 && frame.length <= rest.size(),
                    "a whole frame lies within the bytes");
        fuzzRequire(firstWebSocketFrame(rest.substr(0, frame.length - 1), kLargestPayload).kind ==
                        Kind::Incomplete,
                    "a whole frame without its last byte is not whole");
        switch (frame.kind) {
            case Kind::Text:
                fuzzRequire(frame.payload.size() <= kLargestPayload, "a text keeps to its bound");
                requireReadsBack(sim::live::webSocketTextFrame(frame.payload), Kind::Text, frame);
                break;
            case Kind::Ping:
                fuzzRequire(frame.payload.size() <= kLargestControlPayload,
                            "a control frame keeps to 125 bytes");
                requireReadsBack(sim::live::webSocketPongFrame(frame.payload), Kind::Pong, frame);
                break;
            case Kind::Close:
                fuzzRequire(frame.payload.size() <= kLargestControlPayload,
                            "a control frame keeps to 125 bytes");
                requireReadsBack(sim::live::webSocketCloseFrame(frame.closeCode), Kind::Close,
                                 frame);
                break;
            default:
                fuzzRequire(frame.payload.size() <= kLargestControlPayload,
                            "a control frame keeps to 125 bytes");
                break;
        }
        rest.remove_prefix(frame.length);
    }
}
