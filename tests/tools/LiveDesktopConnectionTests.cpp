// The server's connections as a client that writes HTTP by hand sees them: requests sent
// together are answered in order, a connection ends after its hundredth request, and one
// client's connections are bounded.
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "LiveDesktop/HttpServer.h"
#include "LiveDesktopProgram.h"

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
            char bytes[4096];
            const ssize_t got = recv(fd_, bytes, sizeof bytes, 0);
            if (got <= 0) {
                return {};
            }
            buffer_.append(bytes, static_cast<std::size_t>(got));
        }
    }
    // Whether the server ends the connection once what it sent has been read.
    bool endsAfterAnswers() {
        char byte = 0;
        return buffer_.empty() && recv(fd_, &byte, 1, 0) == 0;
    }

private:
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

TEST(LiveDesktopConnections, RequestsSentTogetherAreAnsweredInOrder) {
    LiveDesktopProgram program;
    RawConnection connection(program.port());
    ASSERT_TRUE(connection.connected());
    ASSERT_TRUE(connection.send(get("/api/story", program) + get("/nothing", program) +
                                get("/api/desktop", program)));
    EXPECT_EQ(statusOf(connection.answer()), 200);
    EXPECT_EQ(statusOf(connection.answer()), 404);
    EXPECT_NE(connection.answer().find("\"version\":"), std::string::npos);
}

TEST(LiveDesktopConnections, AConnectionEndsAfterItsHundredthRequest) {
    LiveDesktopProgram program;
    RawConnection connection(program.port());
    ASSERT_TRUE(connection.connected());
    for (int request = 1; request <= 100; ++request) {
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

}  // namespace
