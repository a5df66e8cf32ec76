#include "LiveDesktop/EventStreams.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace sim::live {

using Clock = std::chrono::steady_clock;

struct EventStreams::Stream {
    int fd = -1;  // -1 until attached
    std::string pending;
    std::function<void()> closed;
    Clock::time_point lastWritten = Clock::now();
};

namespace {

void end(EventStreams::Stream& stream) {
    ::close(stream.fd);
    if (stream.closed) {
        stream.closed();
    }
}

}  // namespace

std::string eventText(const std::string& data) {
    std::string text;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = data.find('\n', start);
        text += "data: " + data.substr(start, end - start) + "\n";
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return text + "\n";
}

EventStreams::EventStreams() {
    int pipe[2];
    if (::pipe2(pipe, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead_ = pipe[0];
        wakeWrite_ = pipe[1];
        writer_ = std::thread([this] { write(); });
    } else {
        stopping_ = true;  // without a way to wake a writer, no stream is served
    }
}

EventStreams::~EventStreams() {
    stop();
    for (int fd : {wakeRead_, wakeWrite_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void EventStreams::wake() {
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
}

std::uint64_t EventStreams::open() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t number = nextStream_++;
    if (!stopping_) {
        streams_.emplace(number, std::make_unique<Stream>());
    }
    return number;
}

void EventStreams::publish(const std::string& data) {
    const std::string text = eventText(data);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [number, stream] : streams_) {
            stream->pending += text;
        }
    }
    wake();
}

void EventStreams::attach(std::uint64_t number, int fd, const std::string& head,
                          std::function<void()> closed) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = streams_.find(number);
        if (found != streams_.end() && found->second->fd < 0) {
            Stream& stream = *found->second;
            stream.fd = fd;
            stream.pending.insert(0, head);
            stream.closed = std::move(closed);
            wake();
            return;
        }
    }
    ::close(fd);
    if (closed) {
        closed();
    }
}

void EventStreams::abandon(std::uint64_t number) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = streams_.find(number);
    if (found != streams_.end() && found->second->fd < 0) {
        streams_.erase(found);
    }
}

bool EventStreams::listening() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return !streams_.empty();
}

void EventStreams::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    if (writer_.joinable()) {
        wake();
        writer_.join();
    }
}

// Writes what each stream has pending as far as its client takes it, closes the streams whose
// client went away or fell too far behind, and sends the heartbeats; sleeps otherwise.
void EventStreams::write() {
    const auto heartbeat = std::chrono::seconds(kHeartbeatSeconds);
    std::vector<pollfd> polled;
    std::vector<std::uint64_t> numbers;
    for (;;) {
        std::vector<std::unique_ptr<Stream>> ended;
        auto next = Clock::now() + heartbeat;
        polled.assign(1, {wakeRead_, POLLIN, 0});
        numbers.assign(1, 0);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            const auto now = Clock::now();
            for (auto at = streams_.begin(); at != streams_.end();) {
                Stream& stream = *at->second;
                if (stream.fd >= 0 && !stopping_) {
                    if (stream.pending.empty() && now - stream.lastWritten >= heartbeat) {
                        stream.pending = ":\n\n";
                    }
                    bool open = stream.pending.size() <= kLargestBacklog;
                    while (open && !stream.pending.empty()) {
                        const ssize_t sent =
                            ::send(stream.fd, stream.pending.data(), stream.pending.size(),
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
                        if (sent > 0) {
                            stream.pending.erase(0, static_cast<std::size_t>(sent));
                            stream.lastWritten = now;
                        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                            break;
                        } else if (!(sent < 0 && errno == EINTR)) {
                            open = false;
                        }
                    }
                    if (open) {
                        const short events = stream.pending.empty() ? POLLIN : POLLIN | POLLOUT;
                        polled.push_back({stream.fd, events, 0});
                        numbers.push_back(at->first);
                        next = std::min(next, stream.lastWritten + heartbeat);
                        ++at;
                        continue;
                    }
                } else if (!stopping_) {
                    ++at;  // its connection is yet to come
                    continue;
                }
                ended.push_back(std::move(at->second));
                at = streams_.erase(at);
            }
        }
        for (const auto& stream : ended) {
            if (stream->fd >= 0) {
                end(*stream);
            }
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_ && streams_.empty()) {
                return;
            }
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        ::poll(polled.data(), polled.size(), static_cast<int>(std::max<long>(wait.count() + 1, 0)));
        if (polled[0].revents != 0) {
            char drained[256];
            while (::read(wakeRead_, drained, sizeof drained) > 0) {
            }
        }
        // A client sends nothing on its stream: what it sends is dropped, and its end (or an
        // error) closes the stream.
        std::vector<std::uint64_t> gone;
        for (std::size_t index = 1; index < polled.size(); ++index) {
            if ((polled[index].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char dropped[4096];
            const ssize_t got = ::recv(polled[index].fd, dropped, sizeof dropped, MSG_DONTWAIT);
            if (got == 0 ||
                (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                gone.push_back(numbers[index]);
            }
        }
        if (!gone.empty()) {
            std::vector<std::unique_ptr<Stream>> closing;
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                for (std::uint64_t number : gone) {
                    if (auto found = streams_.find(number); found != streams_.end()) {
                        closing.push_back(std::move(found->second));
                        streams_.erase(found);
                    }
                }
            }
            for (const auto& stream : closing) {
                end(*stream);
            }
        }
    }
}

}  // namespace sim::live
