// The server's connections as a client that writes HTTP by hand sees them: requests sent
// together are answered in order, a connection ends after its hundredth request, one client's
// connections are bounded, and a WebSocket opened at the hand carries the hand's actions.
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LiveDesktop/HttpServer.h"
#include "LiveDesktopProgram.h"
#include "WebSocketClientFrames.h"

namespace {

// A connection to the served port; reads wait up to the program's patience.
class RawConnection {
public:
    explicit RawConnection(int port) : fd_(connectedSocket(port)) {
        timeval patience{LiveDesktopProgram::kPatience.count(), 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    }
    ~RawConnection() { close(fd_); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // The next whole answer (its head and the body its Content-Length gives); empty when the
    // connection ends first.
    std::string answer() {
        for (;;) {
            const std::size_t headEnd = buffer_.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                const std::size_t length = buffer_.find("Content-Length: ");
                const std::size_t body =
                    length < headEnd ? std::strtoul(buffer_.c_str() + length + 16, nullptr, 10) : 0;
                if (buffer_.size() >= headEnd + 4 + body) {
                    std::string whole = buffer_.substr(0, headEnd + 4 + body);
                    buffer_.erase(0, whole.size());
                    return whole;
                }
            }
            if (!receive()) {
                return {};
            }
        }
    }
    // The next whole frame the server sent on a WebSocket: its first byte (FIN and opcode) and
    // its payload; an empty first byte when the connection ends first.
    std::pair<unsigned char, std::string> frame() {
        for (;;) {
            if (buffer_.size() >= 2) {
                const std::size_t lengthBytes = buffer_[1] == 126 ? 2 : buffer_[1] == 127 ? 8 : 0;
                std::size_t length = lengthBytes == 0 ? std::size_t(buffer_[1]) : 0;
                for (std::size_t index = 0; index < lengthBytes && 2 + index < buffer_.size();
                     ++index) {
                    length = length << 8 | static_cast<unsigned char>(buffer_[2 + index]);
                }
                const std::size_t start = 2 + lengthBytes;
                if (buffer_.size() >= start + length) {
                    std::pair<unsigned char, std::string> whole{buffer_[0],
                                                                buffer_.substr(start, length)};
                    buffer_.erase(0, start + length);
                    return whole;
                }
            }
            if (!receive()) {
                return {};
            }
        }
    }
    // Whether the server ends the connection once what it sent has been read.
    bool endsAfterAnswers() {
        char byte = 0;
        return buffer_.empty() && recv(fd_, &byte, 1, 0) == 0;
    }

private:
    bool receive() {
        char bytes[4096];
        const ssize_t got = recv(fd_, bytes, sizeof bytes, 0);
        if (got > 0) {
            buffer_.append(bytes, static_cast<std::size_t>(got));
        }
        return got > 0;
    }

    int fd_ = -1;
    std::string buffer_;
};

int statusOf(const std::string& answer) {
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

std::string get(const std::string& path, const LiveDesktopProgram& program) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(program.port()) +
           "\r\n\r\n";
}

// Requests sent together are answered in order; a connection ends after its hundredth request.
TEST(LiveDesktopConnections, RequestsSentTogetherAreAnsweredInOrderAndTheHundredthEndsThem) {
    LiveDesktopProgram program;
    RawConnection connection(program.port());
    ASSERT_TRUE(connection.connected());
    ASSERT_TRUE(connection.send(get("/api/story", program) + get("/nothing", program) +
                                get("/api/desktop", program)));
    EXPECT_EQ(statusOf(connection.answer()), 200);
    EXPECT_EQ(statusOf(connection.answer()), 404);
    EXPECT_NE(connection.answer().find("\"version\":"), std::string::npos);
    for (int request = 4; request <= 100; ++request) {
        ASSERT_TRUE(connection.send(get("/api/story", program)));
        const std::string answer = connection.answer();
        ASSERT_EQ(statusOf(answer), 200) << "request " << request;
        EXPECT_EQ(answer.find("Connection: close") != std::string::npos, request == 100)
            << "request " << request;
    }
    EXPECT_TRUE(connection.endsAfterAnswers());
}

TEST(LiveDesktopConnections, OneClientsConnectionsBeyondTheBoundAreRefused) {
    LiveDesktopProgram program;
    std::vector<std::unique_ptr<RawConnection>> open;
    for (std::size_t index = 0; index < sim::live::kConnectionsPerClient; ++index) {
        open.push_back(std::make_unique<RawConnection>(program.port()));
        ASSERT_TRUE(open.back()->connected()) << "connection " << index + 1;
    }
    RawConnection beyond(program.port());
    ASSERT_TRUE(beyond.connected());
    EXPECT_EQ(statusOf(beyond.answer()), 503);
    // One of the bound still asks and is answered.
    ASSERT_TRUE(open.front()->send(get("/api/story", program)));
    EXPECT_EQ(statusOf(open.front()->answer()), 200);
}

std::string socketHandshake(const LiveDesktopProgram& program) {
    return "GET /api/hand HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(program.port()) +
           "\r\nUpgrade: websocket\r\nConnection: keep-alive, Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
           "Origin: http://localhost:" +
           std::to_string(program.port()) + "\r\n\r\n";
}

TEST(LiveDesktopConnections,
     AWebSocketAtTheHandAnswersInOrderStaysOpenWhileIdleAndEndsOnAFrameItCannotTake) {
    LiveDesktopProgram program;
    RawConnection socket(program.port());
    ASSERT_TRUE(socket.connected());
    ASSERT_TRUE(socket.send(socketHandshake(program)));
    ASSERT_EQ(statusOf(socket.answer()), 101);

    // Sent together: each message is answered in its turn, the ping after them.
    ASSERT_TRUE(socket.send(clientFrame(0x81, R"({"action": "move", "x": 10, "y": 10})") +
                            clientFrame(0x81, R"({"action": "move", "x": 5})") +
                            clientFrame(0x89, "still there?")));
    const auto moved = socket.frame();
    EXPECT_EQ(moved.first, 0x81);
    EXPECT_NE(moved.second.find("\"version\":"), std::string::npos) << moved.second;
    const auto refused = socket.frame();
    EXPECT_NE(refused.second.find("\"error\":"), std::string::npos) << "a move without its y";
    EXPECT_EQ(socket.frame(), std::make_pair<unsigned char>(0x8a, std::string("still there?")));
    // A frame that comes in parts is answered once it is whole.
    const std::string parts = clientFrame(0x81, R"({"action": "move", "x": 12, "y": 12})");
    ASSERT_TRUE(socket.send(parts.substr(0, 9)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(socket.send(parts.substr(9)));
    EXPECT_EQ(socket.frame().first, 0x81);

    // An open socket is no idle connection: it waits for the page's next action.
    std::this_thread::sleep_for(std::chrono::seconds(sim::live::kIdleSeconds + 1));
    ASSERT_TRUE(socket.send(clientFrame(0x81, R"({"action": "move", "x": 10, "y": 10})")));
    EXPECT_EQ(socket.frame().first, 0x81) << "still open after the idle time";
    // The client closes: the server answers with the same code and ends the connection.
    ASSERT_TRUE(socket.send(clientFrame(0x88, std::string("\x03\xe8", 2))));
    EXPECT_EQ(socket.frame(), std::make_pair<unsigned char>(0x88, std::string("\x03\xe8", 2)));
    EXPECT_TRUE(socket.endsAfterAnswers());

    // A client that reads slowly gets every answer once it reads, and its socket goes on.
    RawConnection slow(program.port());
    ASSERT_TRUE(slow.send(socketHandshake(program)));
    ASSERT_EQ(statusOf(slow.answer()), 101);
    // Each answer is the whole desktop: together, more than the kernel's buffers on both sides
    // hold, so that the server waits for the client to read.
    constexpr int kMessages = 3000;
    std::string messages;
    for (int x = 0; x < kMessages; ++x) {
        messages += clientFrame(
            0x81, R"({"action": "move", "x": )" + std::to_string(x % 1000) + R"(, "y": 10})");
    }
    ASSERT_TRUE(slow.send(messages));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int answered = 0;
    while (answered < kMessages && slow.frame().second.find("\"windows\":") != std::string::npos) {
        ++answered;
    }
    EXPECT_EQ(answered, kMessages);
    ASSERT_TRUE(slow.send(clientFrame(0x89, "and now?")));
    EXPECT_EQ(slow.frame(), std::make_pair<unsigned char>(0x8a, std::string("and now?")));

    // A frame the server does not take ends another socket, with the code that says why.
    RawConnection other(program.port());
    ASSERT_TRUE(other.send(socketHandshake(program)));
    ASSERT_EQ(statusOf(other.answer()), 101);
    ASSERT_TRUE(other.send(clientFrame(0x82, "binary")));
    EXPECT_EQ(other.frame(), std::make_pair<unsigned char>(0x88, std::string("\x03\xeb", 2)))
        << "closed with 1003";
    EXPECT_TRUE(other.endsAfterAnswers());
}

}  // namespace
