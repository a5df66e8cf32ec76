// The live desktop's event stream as an outside client reads it: nothing while the session is
// idle, one event per change with the parts that changed and the new story lines, the whole
// desktop for a client of another session, and the same Host rule as every request.
#include <gtest/gtest.h>

#include "LiveDesktopProgram.h"

namespace {

using Json = nlohmann::json;

// A raw connection that asks for the event stream and reads what comes.
class EventClient {
public:
    EventClient(int port, const std::string& query, const std::string& host = "") {
        fd_ = connectedSocket(port);
        EXPECT_GE(fd_, 0);
        const std::string request = "GET /api/events?" + query + " HTTP/1.1\r\nHost: " +
                                    (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) +
                                    "\r\n\r\n";
        EXPECT_EQ(send(fd_, request.data(), request.size(), 0),
                  static_cast<ssize_t>(request.size()));
    }
    ~EventClient() { close(fd_); }

    // What came within `seconds` (reading stops early once `until` has come).
    std::string read(double seconds, const std::string& until = "\n\n") {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(static_cast<int>(seconds * 1000));
        for (;;) {
            const std::size_t head = received_.find("\r\n\r\n");
            const std::size_t from = head == std::string::npos ? 0 : head + 4;
            if (head != std::string::npos && received_.find(until, from) != std::string::npos) {
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd readable{fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char bytes[65536];
            const ssize_t got = recv(fd_, bytes, sizeof bytes, 0);
            if (got <= 0) {
                break;
            }
            received_.append(bytes, static_cast<std::size_t>(got));
        }
        return received_;
    }
    // The data of every event received so far, parsed.
    std::vector<Json> events() {
        std::vector<Json> found;
        for (std::size_t at = received_.find("data: "); at != std::string::npos;
             at = received_.find("data: ", at + 1)) {
            found.push_back(
                Json::parse(received_.substr(at + 6, received_.find('\n', at) - at - 6)));
        }
        return found;
    }

private:
    int fd_ = -1;
    std::string received_;
};

TEST(LiveDesktopEvents, EachChangeIsPushedOnceWithWhatChangedAndNothingWhileIdle) {
    LiveDesktopProgram program;
    const Json start = program.desktop();
    const std::uint64_t version = start["version"];
    EventClient current(program.port(), "since=" + std::to_string(version));
    const std::string head = current.read(1.0);
    EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u) << head;
    EXPECT_NE(head.find("Content-Type: text/event-stream"), std::string::npos);
    EXPECT_EQ(head.find("data:"), std::string::npos) << "an idle session sends nothing";

    EventClient behind(program.port(), "since=" + std::to_string(version) + "&session=other");
    behind.read(5.0);
    ASSERT_EQ(behind.events().size(), 1u);
    EXPECT_EQ(behind.events()[0]["whole"], true) << "a client of another session starts again";
    EXPECT_EQ(behind.events()[0]["dock"], start["dock"]);

    program.script("hide Safari");
    current.read(5.0);
    ASSERT_EQ(current.events().size(), 1u);
    const Json event = current.events()[0];
    EXPECT_EQ(event["version"], version + 1);
    EXPECT_EQ(event["from"], version);
    EXPECT_TRUE(event.contains("applications"));
    EXPECT_FALSE(event.contains("dock"));
    EXPECT_NE(event["story"]["lines"].dump().find("Safari"), std::string::npos);

    const httplib::Result offered =
        program.get("/api/desktop", {{"Accept-Encoding", "gzip, deflate, br"}});
    ASSERT_TRUE(offered);
    EXPECT_FALSE(offered->has_header("Content-Encoding")) << "answers are not compressed";
    program.get("/api/story?since=0");
    current.read(1.0, "\n\ndata:");
    EXPECT_EQ(current.events().size(), 1u) << "reading pushes nothing";
    behind.read(0.5, "\n\ndata:");
    EXPECT_EQ(behind.events().size(), 2u) << "every stream hears every change";

    EventClient foreign(program.port(), "since=0", "quenfold.example:80");
    EXPECT_EQ(foreign.read(5.0).rfind("HTTP/1.1 403", 0), 0u);
    EXPECT_EQ(program.stop(), 0) << "open streams do not hold the end";
}

}  // namespace
