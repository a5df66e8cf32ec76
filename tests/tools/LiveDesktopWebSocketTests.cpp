// The WebSocket protocol as the live desktop's server speaks it, with no socket: the handshake's
// accept value, the frames a client sends as the server reads them, and the frames it writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "LiveDesktop/Sha1.h"
#include "LiveDesktop/WebSocketProtocol.h"
#include "WebSocketClientFrames.h"

namespace {

using namespace sim::live;
using Kind = WebSocketFrame::Kind;

// A key is sixteen bytes in base64; the handshake's accept value is the base64 of its SHA-1.
TEST(LiveDesktopWebSocket, AKeyIsSixteenBytesInBase64AndItsAcceptValueTheBase64OfItsSha1) {
    EXPECT_EQ(webSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=")
        << "the protocol's own example: the key and GUID take two blocks";
    const Sha1Digest abc = sha1("abc");
    EXPECT_EQ(std::string(abc.begin(), abc.begin() + 4), "\xa9\x99\x3e\x36") << "one block";
    EXPECT_TRUE(isWebSocketKey("dGhlIHNhbXBsZSBub25jZQ=="));
    EXPECT_FALSE(isWebSocketKey("dGhlIHNhbXBsZSBub25jZB==")) << "B leaves a bit beyond 16 bytes";
    EXPECT_FALSE(isWebSocketKey("dGhlIHNhbXBsZSBub25jZQA==")) << "25 characters";
    EXPECT_FALSE(isWebSocketKey("dGhlIHNhbXBsZSBub25jZQAA")) << "no padding";
    EXPECT_FALSE(isWebSocketKey("dGhlIHNhbXBsZSBub25j-Q==")) << "not the base64 alphabet";
}

TEST(LiveDesktopWebSocket, AFrameIsReadOnlyOnceItIsWhole) {
    const std::string hello = "\x81\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58";
    const WebSocketFrame frame = firstWebSocketFrame(hello + "\x81", 4096);
    EXPECT_EQ(frame.payload, "Hello") << "the masked Hello of the protocol's example";
    EXPECT_EQ(frame.length, hello.size()) << "the next frame's first byte waits";
    // A 16-bit length: cut in its header, its length, its mask key or its payload.
    const std::string whole = masked(webSocketTextFrame(std::string(300, 'x')));
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_EQ(firstWebSocketFrame(whole.substr(0, size), 4096).kind, Kind::Incomplete)
            << size << " of " << whole.size() << " bytes";
    }
}

TEST(LiveDesktopWebSocket, WrittenFramesTakeTheShortestLengthAndReadBackMasked) {
    // The parser refuses a length longer than it need be, so a frame read back was written short.
    for (const std::size_t size : {125, 126, 65535, 65536}) {
        const std::string text(size, 'q');
        EXPECT_EQ(firstWebSocketFrame(masked(webSocketTextFrame(text)), 1 << 20).payload, text)
            << size << " bytes";
    }
    const WebSocketFrame pong = firstWebSocketFrame(masked(webSocketPongFrame("beat")), 0);
    EXPECT_EQ(pong.kind, Kind::Pong) << "a pong carries the ping's payload";
    EXPECT_EQ(pong.payload, "beat");
    EXPECT_EQ(webSocketCloseFrame(1001), "\x88\x02\x03\xe9") << "the code and no reason";
}

TEST(LiveDesktopWebSocket, ACloseFrameGivesItsCodeOr1000) {
    const struct {
        std::string payload;
        std::uint16_t code;
    } closes[] = {{"", 1000},
                  {"\x03\xe9going", 1001},
                  {"\x03\xf6", 1014},
                  {"\x0b\xb8", 3000},
                  {"\x13\x87", 4999}};
    for (const auto& [payload, code] : closes) {
        EXPECT_EQ(firstWebSocketFrame(clientFrame(0x88, payload), 4096).closeCode, code) << code;
    }
    const WebSocketFrame ping = firstWebSocketFrame(clientFrame(0x89, std::string(125, 'p')), 0);
    EXPECT_EQ(ping.kind, Kind::Ping) << "a control frame of 125 bytes, over the text bound";
}

TEST(LiveDesktopWebSocket, WhatTheServerDoesNotTakeIsRefusedWithItsCloseCode) {
    const auto code = [](std::uint16_t value) {
        return std::string{static_cast<char>(value >> 8), static_cast<char>(value & 0xff)};
    };
    const struct {
        std::string bytes;
        std::uint16_t code;
        const char* what;
    } refused[] = {
        {clientFrame(0xc1, "a"), 1002, "a reserved bit"},
        {"\x81\x01z", 1002, "unmasked"},
        {clientFrame(0x82, "a"), 1003, "binary"},
        {clientFrame(0x01, "a"), 1003, "a text message's first fragment"},
        {clientFrame(0x80, "a"), 1003, "a continuation"},
        {clientFrame(0x83, ""), 1002, "an unknown opcode"},
        {clientFrame(0x8b, ""), 1002, "an unknown control opcode"},
        {clientFrame(0x09, "a"), 1002, "a fragmented ping"},
        {std::string("\x89\xfe\x00\x7e", 4), 1002, "a ping of 126 bytes"},
        {std::string("\x81\xfe\x00\x7d", 4), 1002, "125 in 16 bits"},
        {std::string("\x81\xff\0\0\0\0\0\0\xff\xff", 10), 1002, "65535 in 64 bits"},
        {std::string("\x81\xff\x80\0\0\0\0\0\0\0", 10), 1002, "the 64-bit length's top bit"},
        {std::string("\x81\xfe\x10\x01", 4), 1009, "4097 bytes, known before they come"},
        {clientFrame(0x88, "\x03"), 1002, "a close code of one byte"},
    };
    for (const auto& [bytes, closeCode, what] : refused) {
        EXPECT_EQ(firstWebSocketFrame(bytes, 4096).closeCode, closeCode) << what;
    }
    for (const std::uint16_t invalid : {999, 1004, 1005, 1006, 1015, 2999, 5000}) {
        EXPECT_EQ(firstWebSocketFrame(clientFrame(0x88, code(invalid)), 4096).closeCode, 1002)
            << "close code " << invalid;
    }
    const std::string atTheBound = clientFrame(0x81, std::string(100, 't'));
    EXPECT_EQ(firstWebSocketFrame(atTheBound, 100).kind, Kind::Text) << "100 bytes of 100";
}

}  // namespace
