// The live desktop's event streams (Server-Sent Events): each client that asked for
// /api/events keeps its connection open, and every change the session publishes is queued to
// every stream and written by one thread of their own, so that the main thread never waits for
// a client and a client that stops reading holds only its own stream. An idle stream gets a
// comment line every kHeartbeatSeconds, so that the client can tell the connection lives; a
// stream whose client has fallen more than kLargestBacklog behind is closed (the client
// reconnects and catches up from its version).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sim::live {

inline constexpr int kHeartbeatSeconds = 15;
inline constexpr std::size_t kLargestBacklog = 8 << 20;

// One event as the stream carries it: each line of `data` after "data: ", then an empty line.
std::string eventText(const std::string& data);

class EventStreams {
public:
    EventStreams();
    ~EventStreams();
    EventStreams(const EventStreams&) = delete;
    EventStreams& operator=(const EventStreams&) = delete;

    // A new stream, whose connection comes later (`attach`): what is published from now on is
    // kept for it. Its number.
    std::uint64_t open();
    // `data` as one event to every stream.
    void publish(const std::string& data);
    // The stream's connection (a non-blocking socket, closed by the streams from now on): `head`
    // is written first, then what was published since the stream was opened; `closed` runs once
    // the connection is closed. A stream that is no longer open closes the connection at once.
    void attach(std::uint64_t stream, int fd, const std::string& head,
                std::function<void()> closed);
    // The stream's connection will not come.
    void abandon(std::uint64_t stream);
    // Every connection is closed; nothing is taken any more.
    void stop();

    // Whether any stream is open (its connection come or still to come).
    bool listening() const;

    struct Stream;

private:
    void write();
    void wake();

    mutable std::mutex mutex_;
    std::map<std::uint64_t, std::unique_ptr<Stream>> streams_;
    std::uint64_t nextStream_ = 1;
    bool stopping_ = false;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread writer_;
};

}  // namespace sim::live
