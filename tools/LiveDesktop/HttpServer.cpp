#include "LiveDesktop/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "LiveDesktop/HttpFraming.h"
#include "LiveDesktop/RequestBodies.h"
#include "LiveDesktop/WebSocketProtocol.h"

namespace sim::live {
namespace {

using Clock = std::chrono::steady_clock;

// Writers finish the answers a client did not take at once: each waits on one slow client.
constexpr std::size_t kWriters = 4;
constexpr std::size_t kRequestsPerConnection = 100;
constexpr int kBacklog = 1024;
// Descriptors kept for the session itself (its stored files, the page's files).
constexpr std::size_t kReservedDescriptors = 32;
constexpr auto kWriteDeadline = std::chrono::seconds(5);
// How long what a refused client still sends is read and dropped before its connection closes
// (closing at once would reset it before it reads the answer).
constexpr auto kDiscardDeadline = std::chrono::seconds(2);
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
constexpr int kAcceptsPerPass = 16;

HttpRequest plainRequest(const httplib::Request& request) {
    HttpRequest plain;
    plain.method = request.method;
    plain.path = request.path;
    for (const auto& [key, value] : request.params) {
        plain.query.emplace_back(key, value);
    }
    for (const auto& [key, value] : request.headers) {
        plain.headers.emplace_back(key, value);
    }
    plain.body = request.body;
    return plain;
}

struct Connection {
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    // A connection dropped without its turn (the session ended first) still gives back its
    // descriptor.
    ~Connection() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    int fd = -1;
    std::string address;
    int port = 0;
    std::string localAddress;  // where the client reached this server
    int localPort = 0;
    std::string buffer;             // received and not yet answered
    std::size_t requestLength = 0;  // or the length of the message's frame, on a WebSocket
    // When the request being read began (its first byte), or when the connection fell idle.
    Clock::time_point since = Clock::now();
    bool started = false;
    bool discarding = false;  // answered for the last time: what comes is dropped
    std::size_t served = 0;
    // The event stream this connection has become: its answer's head and first events, written
    // by the event streams from now on.
    std::optional<std::uint64_t> stream;
    std::string streamStart;
    // The WebSocket this connection has become: the request that opened it, whose path, query
    // and headers each message is sent with, and the message being answered.
    bool socket = false;
    bool watcherKeeps = false;  // the thread that answers could not watch the socket
    HttpRequest socketRequest;
    std::string message;
    // The answer written so far, and whether the connection closes after it.
    std::string answer;
    std::size_t answerSent = 0;
    bool closesAfterAnswer = false;
};

// What a connection is told when the session takes no more: 503, or on a WebSocket the close
// of a server going away.
std::string goingAway(const Connection& connection) {
    return connection.socket ? webSocketCloseFrame(kCloseGoingAway) : closingAnswer(503);
}

// A connection whose request waits for the thread that answers; dropped before its turn (the
// session ended first), it is told the server is going away and closed.
struct Unanswered {
    explicit Unanswered(std::unique_ptr<Connection> waiting) : connection(std::move(waiting)) {}
    Unanswered(const Unanswered&) = delete;
    Unanswered& operator=(const Unanswered&) = delete;
    ~Unanswered() {
        if (connection) {
            const std::string answer = goingAway(*connection);
            ::send(connection->fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }
    std::unique_ptr<Connection> connection;
};

// The connection whose request this thread answers.
thread_local Connection* tServing = nullptr;

// The head of an event stream's answer: no length, it lasts as long as the connection.
std::string streamHead(const HttpResponse& answer) {
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) +
                       " OK\r\nContent-Type: " + answer.contentType + "\r\n";
    for (const auto& [name, value] : answer.headers) {
        head += name + ": " + value + "\r\n";
    }
    return head + "Connection: close\r\n\r\n";
}

// The head of the answer that opens a WebSocket: no body, and no length, which a 101 must not
// carry.
std::string socketHead(const HttpResponse& answer) {
    std::string head = "HTTP/1.1 101 Switching Protocols\r\n";
    for (const auto& [name, value] : answer.headers) {
        head += name + ": " + value + "\r\n";
    }
    return head + "\r\n";
}

std::pair<std::string, int> addressOf(const sockaddr_storage& storage) {
    char text[INET6_ADDRSTRLEN] = "";
    int port = 0;
    if (storage.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(storage);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (storage.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(storage);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    return {text, port};
}

// Writes all of `bytes` to a non-blocking socket, waiting for room until the deadline.
bool sendAll(int fd, const char* bytes, std::size_t size) {
    const auto deadline = Clock::now() + kWriteDeadline;
    while (size > 0) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent > 0) {
            bytes += sent;
            size -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd room{fd, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&room, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
    }
    return true;
}

// One request whose bytes are all here, for the server library to read and answer; its answer is
// gathered whole, to be written at once.
class WholeRequestStream : public httplib::Stream {
public:
    explicit WholeRequestStream(Connection& connection) : connection_(connection) {}

    bool is_readable() const override { return read_ < connection_.requestLength; }
    bool is_writable() const override { return true; }
    ssize_t read(char* into, size_t size) override {
        const std::size_t count = std::min(size, connection_.requestLength - read_);
        std::memcpy(into, connection_.buffer.data() + read_, count);
        read_ += count;
        return static_cast<ssize_t>(count);
    }
    ssize_t write(const char* bytes, size_t size) override {
        // An event stream's answer is written by the event streams; a WebSocket's head was
        // written by the handler.
        if (!connection_.stream && !connection_.socket) {
            connection_.answer.append(bytes, size);
        }
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = connection_.address;
        port = connection_.port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = connection_.localAddress;
        port = connection_.localPort;
    }
    socket_t socket() const override { return connection_.fd; }

private:
    Connection& connection_;
    std::size_t read_ = 0;
};

}  // namespace

// The server library answers the requests; the connections, their threads and their limits are
// kept here.
struct HttpServer::Connections : httplib::Server {
    int listening = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::size_t limitInAll = kConnectionsInAll;

    Respond respond;
    Dispatch dispatch;
    WatchReadable watchReadable;

    std::mutex mutex;
    std::condition_variable unfinished;                 // an answer to finish, or the server stops
    std::deque<std::unique_ptr<Connection>> unwritten;  // for the writers
    std::vector<std::unique_ptr<Connection>> returned;  // answered, to be watched again
    std::map<std::string, std::size_t> perClient;
    std::size_t open = 0;
    bool stopping = false;

    std::thread watcher;
    std::vector<std::thread> writers;
    EventStreams events;

    // The WebSockets the thread that answers reads itself, by descriptor; that thread only.
    struct ServedSocket {
        std::unique_ptr<Connection> connection;
        std::shared_ptr<void> watch;
    };
    std::map<int, ServedSocket> servedSockets;

    ~Connections() override {
        for (int fd : {listening, wakeRead, wakeWrite}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    void wake() {
        const char byte = 0;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite, &byte, 1);
    }

    void close(std::unique_ptr<Connection> connection) {
        ::close(std::exchange(connection->fd, -1));
        closed(connection->address);
    }

    // A connection from `address` is closed.
    void closed(const std::string& address) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (--perClient[address] == 0) {
                perClient.erase(address);
            }
            --open;
        }
        wake();
    }

    // The last answer of a connection: what the client still sends is dropped until it closes.
    static void refuse(Connection& connection, int status) {
        end(connection, closingAnswer(status));
    }
    static void closeSocket(Connection& connection, std::uint16_t code) {
        end(connection, webSocketCloseFrame(code));
    }
    static void end(Connection& connection, const std::string& answer) {
        ::send(connection.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(connection.fd, SHUT_WR);
        connection.discarding = true;
        connection.buffer.clear();
        connection.since = Clock::now();
    }

    // A connection with new bytes (or answered): to the thread that answers once a request is
    // whole. False when it has gone there.
    bool examine(std::unique_ptr<Connection>& connection) {
        if (connection->discarding || connection->buffer.empty()) {
            return true;
        }
        if (connection->socket) {
            return examineSocket(connection);
        }
        const RequestExtent extent = firstRequest(connection->buffer);
        if (extent.refusal != 0) {
            refuse(*connection, extent.refusal);
            return true;
        }
        if (extent.length == 0) {
            return true;
        }
        connection->requestLength = extent.length;
        return handOver(connection, &Connections::answer);
    }

    // A WebSocket's next frame past its pings (answered) and pongs (dropped): a frame still
    // coming (Incomplete), one that ends the socket (Refused, Close), or a whole text message,
    // taken as the message to answer.
    static WebSocketFrame::Kind nextFrame(Connection& connection) {
        for (;;) {
            WebSocketFrame frame = firstWebSocketFrame(connection.buffer, kLargestBody);
            switch (frame.kind) {
                case WebSocketFrame::Kind::Ping: {
                    const std::string pong = webSocketPongFrame(frame.payload);
                    ::send(connection.fd, pong.data(), pong.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                    break;
                }
                case WebSocketFrame::Kind::Pong:
                    break;
                case WebSocketFrame::Kind::Text:
                    connection.message = std::move(frame.payload);
                    connection.requestLength = frame.length;
                    return frame.kind;
                case WebSocketFrame::Kind::Refused:
                case WebSocketFrame::Kind::Close:
                    closeSocket(connection, frame.closeCode);
                    return frame.kind;
                case WebSocketFrame::Kind::Incomplete:
                    return frame.kind;
            }
            connection.buffer.erase(0, frame.length);
        }
    }

    // A WebSocket the watcher holds: a whole message goes to the thread that answers, and so does
    // the socket once it is idle again. False when it has gone there.
    bool examineSocket(std::unique_ptr<Connection>& connection) {
        switch (nextFrame(*connection)) {
            case WebSocketFrame::Kind::Text:
                return handOver(connection, &Connections::answerMessage);
            case WebSocketFrame::Kind::Incomplete:
                connection->started = !connection->buffer.empty();
                return connection->started || connection->watcherKeeps ||
                       handOver(connection, &Connections::serveSocket);
            default:
                return true;  // closed: what still comes is dropped
        }
    }

    // To the thread that answers, to be answered by `answerIt`; false when it has gone there.
    bool handOver(std::unique_ptr<Connection>& connection,
                  void (Connections::*answerIt)(std::unique_ptr<Connection>)) {
        auto handed = std::make_shared<Unanswered>(std::move(connection));
        if (dispatch(
                [this, handed, answerIt] { (this->*answerIt)(std::move(handed->connection)); })) {
            return false;
        }
        connection = std::move(handed->connection);
        end(*connection, goingAway(*connection));  // the session has ended
        return true;
    }

    // On the thread that answers: reads the request, answers it, and writes the answer as far as
    // the client takes it at once; a writer finishes the rest.
    void answer(std::unique_ptr<Connection> connection) {
        const bool last = ++connection->served >= kRequestsPerConnection;
        bool closes = false;
        connection->requestLength =
            withoutAcceptEncoding(connection->buffer, connection->requestLength);
        WholeRequestStream stream(*connection);
        tServing = connection.get();
        const bool made = process_request(stream, last, closes, {});
        tServing = nullptr;
        if (connection->stream) {
            // Counted among the client's connections until its stream ends.
            events.attach(*connection->stream, std::exchange(connection->fd, -1),
                          connection->streamStart,
                          [this, address = connection->address] { this->closed(address); });
            return;
        }
        connection->buffer.erase(0, connection->requestLength);
        connection->requestLength = 0;
        // A WebSocket stays open whatever the request said of its connection.
        connection->closesAfterAnswer = !made || (!connection->socket && (closes || last));
        finish(std::move(connection));
    }

    // On the thread that answers: a WebSocket's message answered as a POST to the socket's path
    // with the headers that opened it.
    void answerMessage(Connection& connection) {
        HttpRequest request = connection.socketRequest;
        request.method = "POST";
        request.body = std::move(connection.message);
        connection.buffer.erase(0, connection.requestLength);
        connection.requestLength = 0;
        connection.answer = webSocketTextFrame(respond(request).body);
        connection.closesAfterAnswer = false;
    }
    void answerMessage(std::unique_ptr<Connection> connection) {
        answerMessage(*connection);
        finish(std::move(connection));
    }

    // On the thread that answers: the socket is read there from now on, beginning with what
    // came with it.
    void serveSocket(std::unique_ptr<Connection> connection) {
        const int fd = connection->fd;
        std::shared_ptr<void> watch = watchReadable(fd, [this, fd] { socketReadable(fd); });
        if (!watch) {
            connection->watcherKeeps = true;
            watchAgain(std::move(connection));
            return;
        }
        servedSockets[fd] = {std::move(connection), std::move(watch)};
        answerSocketMessages(fd);
    }

    // On the thread that answers: a served socket no longer watched there.
    std::unique_ptr<Connection> stopServing(int fd) {
        const auto served = servedSockets.find(fd);
        std::unique_ptr<Connection> connection = std::move(served->second.connection);
        servedSockets.erase(served);  // the watch goes before the descriptor can close
        return connection;
    }

    void socketReadable(int fd) {
        const auto served = servedSockets.find(fd);
        if (served == servedSockets.end()) {
            return;
        }
        if (!receive(served->second.connection)) {
            close(stopServing(fd));
            return;
        }
        answerSocketMessages(fd);
    }

    // On the thread that answers: the whole messages a served socket has sent are answered in
    // turn. A frame still coming, the socket's end and an answer the client does not take at
    // once are left to the watcher and the writers.
    void answerSocketMessages(int fd) {
        Connection& connection = *servedSockets.at(fd).connection;
        while (nextFrame(connection) == WebSocketFrame::Kind::Text) {
            answerMessage(connection);
            if (!writeAtOnce(connection)) {
                close(stopServing(fd));
                return;
            }
            if (connection.answerSent < connection.answer.size()) {
                unfinish(stopServing(fd));
                return;
            }
            connection.answer.clear();
            connection.answerSent = 0;
        }
        // The watcher times the rest of a frame still coming, or drops what a closed socket
        // still sends.
        if (!connection.buffer.empty() || connection.discarding) {
            watchAgain(stopServing(fd));
        }
    }

    // The answer is written as far as the client takes it at once; a writer finishes the rest.
    void finish(std::unique_ptr<Connection> connection) {
        if (!writeAtOnce(*connection)) {
            close(std::move(connection));
        } else if (connection->answerSent < connection->answer.size()) {
            unfinish(std::move(connection));
        } else {
            answered(std::move(connection), true);
        }
    }

    // For a writer: the rest of an answer the client did not take at once.
    void unfinish(std::unique_ptr<Connection> connection) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            unwritten.push_back(std::move(connection));
        }
        unfinished.notify_one();
    }

    // Writes what the socket takes without waiting; false when the connection failed.
    static bool writeAtOnce(Connection& connection) {
        while (connection.answerSent < connection.answer.size()) {
            const ssize_t sent = ::send(
                connection.fd, connection.answer.data() + connection.answerSent,
                connection.answer.size() - connection.answerSent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                connection.answerSent += static_cast<std::size_t>(sent);
            } else if (sent < 0 && errno != EINTR) {
                return errno == EAGAIN || errno == EWOULDBLOCK;
            }
        }
        return true;
    }

    // The whole answer is written: the connection closes, or is watched for its next request; a
    // WebSocket by the thread that answers.
    void answered(std::unique_ptr<Connection> connection, bool onAnsweringThread) {
        connection->answer.clear();
        connection->answerSent = 0;
        if (connection->closesAfterAnswer) {
            close(std::move(connection));
            return;
        }
        connection->started = !connection->buffer.empty();
        connection->since = Clock::now();
        if (connection->socket && !connection->watcherKeeps) {
            if (onAnsweringThread) {
                serveSocket(std::move(connection));
                return;
            }
            if (!handOver(connection, &Connections::serveSocket)) {
                return;  // gone to the thread that answers
            }
        }
        watchAgain(std::move(connection));
    }

    // Back to the watcher.
    void watchAgain(std::unique_ptr<Connection> connection) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            returned.push_back(std::move(connection));
        }
        wake();
    }

    bool full() {
        const std::lock_guard<std::mutex> lock(mutex);
        return open >= limitInAll;
    }

    static bool idle(const std::unique_ptr<Connection>& connection) {
        return connection && !connection->started && !connection->discarding;
    }

    // At the bound, the connection that has sent nothing for longest gives its place to a new
    // one: a connection that asks nothing must not keep others waiting. False when every
    // connection is busy with a request.
    bool makeRoom(std::vector<std::unique_ptr<Connection>>& watched) {
        const auto oldest =
            std::min_element(watched.begin(), watched.end(), [](const auto& a, const auto& b) {
                return idle(a) && (!idle(b) || a->since < b->since);
            });
        if (oldest == watched.end() || !idle(*oldest)) {
            return false;
        }
        close(std::move(*oldest));
        std::erase(watched, nullptr);
        return true;
    }

    // Takes a few new connections at a time, so that those taken send their request (and are
    // no longer idle) before more come.
    void accept(std::vector<std::unique_ptr<Connection>>& watched,
                Clock::time_point& acceptingAgain) {
        for (int taken = 0; taken < kAcceptsPerPass; ++taken) {
            if (full() && !makeRoom(watched)) {
                return;  // the others wait in the backlog
            }
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            const int fd = ::accept4(listening, reinterpret_cast<sockaddr*>(&peer), &length,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    acceptingAgain = Clock::now() + kAcceptPause;
                }
                return;
            }
            const int yes = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            auto connection = std::make_unique<Connection>();
            connection->fd = fd;
            std::tie(connection->address, connection->port) = addressOf(peer);
            sockaddr_storage local{};
            socklen_t localLength = sizeof local;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength);
            std::tie(connection->localAddress, connection->localPort) = addressOf(local);
            bool overLimit = false;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                ++open;
                overLimit = ++perClient[connection->address] > kConnectionsPerClient;
            }
            if (overLimit) {
                refuse(*connection, 503);
            }
            watched.push_back(std::move(connection));
        }
    }

    // Reads what came; false when the connection is to be closed.
    bool receive(std::unique_ptr<Connection>& connection) {
        char bytes[16384];
        for (;;) {
            const ssize_t got = ::recv(connection->fd, bytes, sizeof bytes, 0);
            if (got == 0) {
                return false;
            }
            if (got < 0) {
                return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            }
            if (connection->discarding) {
                continue;
            }
            if (!connection->started) {
                connection->started = true;
                connection->since = Clock::now();
            }
            connection->buffer.append(bytes, static_cast<std::size_t>(got));
            if (connection->buffer.size() > kLargestHead + kLargestBody) {
                return true;  // firstRequest refuses it
            }
            // Less than asked for: nothing more was there, and what comes later makes the
            // connection readable again.
            if (static_cast<std::size_t>(got) < sizeof bytes) {
                return true;
            }
        }
    }

    // When a watched connection's time is up: an idle one is closed then, a request still
    // coming is refused, and a refused one is closed.
    static Clock::time_point deadlineOf(const Connection& connection) {
        if (connection.discarding) {
            return connection.since + kDiscardDeadline;
        }
        if (connection.socket && !connection.started) {
            return Clock::time_point::max();  // an open socket waits for the page's next action
        }
        return connection.since + (connection.started ? std::chrono::seconds(kRequestSeconds)
                                                      : std::chrono::seconds(kIdleSeconds));
    }

    void watch() {
        std::vector<std::unique_ptr<Connection>> watched;
        Clock::time_point acceptingAgain{};
        std::vector<pollfd> polled;
        for (;;) {
            {
                std::vector<std::unique_ptr<Connection>> back;
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    if (stopping) {
                        break;
                    }
                    back.swap(returned);
                }
                for (auto& connection : back) {
                    if (examine(connection)) {
                        watched.push_back(std::move(connection));
                    }
                }
            }
            const auto now = Clock::now();
            // Deadlines passed: idle connections close, slow requests are refused.
            for (auto& connection : watched) {
                if (now < deadlineOf(*connection)) {
                    continue;
                }
                if (connection->socket && !connection->discarding) {
                    closeSocket(*connection, kClosePolicyViolation);  // a frame that never ends
                } else if (connection->started && !connection->discarding) {
                    refuse(*connection, 408);
                } else {
                    close(std::move(connection));
                }
            }
            std::erase(watched, nullptr);

            polled.clear();
            polled.push_back({wakeRead, POLLIN, 0});
            const bool accepting = now >= acceptingAgain &&
                                   (!full() || std::any_of(watched.begin(), watched.end(), idle));
            polled.push_back({accepting ? listening : -1, POLLIN, 0});
            auto next = now + std::chrono::seconds(1);
            for (const auto& connection : watched) {
                polled.push_back({connection->fd, POLLIN, 0});
                next = std::min(next, deadlineOf(*connection));
            }
            if (now < acceptingAgain) {
                next = std::min(next, acceptingAgain);
            }
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
            if (::poll(polled.data(), polled.size(), static_cast<int>(std::max<long>(wait, 0))) <
                0) {
                continue;
            }
            if (polled[0].revents != 0) {
                char drained[256];
                while (::read(wakeRead, drained, sizeof drained) > 0) {
                }
            }
            for (std::size_t index = 0; index < watched.size(); ++index) {
                if (polled[index + 2].revents == 0) {
                    continue;
                }
                if (!receive(watched[index])) {
                    close(std::move(watched[index]));
                } else if (!examine(watched[index])) {
                    watched[index].reset();
                }
            }
            std::erase(watched, nullptr);
            if (polled[1].revents != 0) {
                accept(watched, acceptingAgain);
            }
        }
        for (auto& connection : watched) {
            close(std::move(connection));
        }
    }

    // A writer: finishes answers whose client did not take them at once, waiting for it up to
    // kWriteDeadline.
    void write() {
        for (;;) {
            std::unique_ptr<Connection> connection;
            {
                std::unique_lock<std::mutex> lock(mutex);
                unfinished.wait(lock, [this] { return stopping || !unwritten.empty(); });
                if (unwritten.empty()) {
                    return;
                }
                connection = std::move(unwritten.front());
                unwritten.pop_front();
            }
            const std::string& answer = connection->answer;
            if (sendAll(connection->fd, answer.data() + connection->answerSent,
                        answer.size() - connection->answerSent)) {
                answered(std::move(connection), false);
            } else {
                close(std::move(connection));
            }
        }
    }
};

EventStreams& HttpServer::events() {
    return connections_->events;
}

HttpServer::HttpServer(Respond respond, Dispatch dispatch, WatchReadable watchReadable)
    : connections_(std::make_unique<Connections>()) {
    connections_->respond = std::move(respond);
    connections_->dispatch = std::move(dispatch);
    connections_->watchReadable = std::move(watchReadable);
    httplib::Server& server = *connections_;
    server.set_payload_max_length(kLargestBody);
    server.set_keep_alive_max_count(kRequestsPerConnection);
    server.set_keep_alive_timeout(kIdleSeconds);
    const httplib::Server::Handler handle = [&respond = connections_->respond](
                                                const httplib::Request& request,
                                                httplib::Response& response) {
        HttpRequest plain = plainRequest(request);
        const HttpResponse answer = respond(plain);
        if (answer.stream && tServing != nullptr) {
            tServing->stream = answer.stream;
            tServing->streamStart = streamHead(answer) + answer.body;
            return;
        }
        if (answer.opensWebSocket && tServing != nullptr) {
            tServing->socket = true;
            tServing->answer = socketHead(answer);
            plain.body.clear();
            tServing->socketRequest = std::move(plain);
            return;
        }
        response.status = answer.status;
        for (const auto& [name, value] : answer.headers) {
            response.set_header(name, value);
        }
        response.set_content(answer.body, answer.contentType);
    };
    const std::string everyPath = ".*";
    server.Get(everyPath, handle);
    server.Post(everyPath, handle);
    server.Put(everyPath, handle);
    server.Patch(everyPath, handle);
    server.Delete(everyPath, handle);
    server.Options(everyPath, handle);
    // What the library answers itself (a request it cannot read) gets the same kind of body as
    // the handler's errors.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            response.set_content(errorBody(response.status), "application/json");
            return httplib::Server::HandlerResponse::Handled;
        }));
}

HttpServer::~HttpServer() {
    stop();
}

bool HttpServer::listen(const std::string& host, int port, std::string* error) {
    Connections& connections = *connections_;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
        found == nullptr) {
        *error = "no such address on this machine";
        return false;
    }
    int lastError = EADDRNOTAVAIL;
    for (const addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
        const int fd = ::socket(candidate->ai_family,
                                candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        // Reusing an address left in TIME_WAIT is fine; sharing a port with another process is
        // not.
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, candidate->ai_addr, candidate->ai_addrlen) == 0 &&
            ::listen(fd, kBacklog) == 0) {
            connections.listening = fd;
            break;
        }
        lastError = errno;
        ::close(fd);
    }
    ::freeaddrinfo(found);
    if (connections.listening < 0) {
        *error = std::strerror(lastError);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(connections.listening, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = addressOf(bound).second;

    // As many connections as the descriptors allow, keeping some for the session's own files.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
        const rlim_t wanted = kConnectionsInAll + kReservedDescriptors + 64;
        if (files.rlim_cur < wanted && files.rlim_cur != RLIM_INFINITY) {
            files.rlim_cur = std::min(wanted, files.rlim_max);
            ::setrlimit(RLIMIT_NOFILE, &files);
            ::getrlimit(RLIMIT_NOFILE, &files);
        }
        if (files.rlim_cur != RLIM_INFINITY) {
            const std::size_t available = static_cast<std::size_t>(files.rlim_cur);
            connections.limitInAll = std::clamp<std::size_t>(available > 2 * kReservedDescriptors
                                                                 ? available - kReservedDescriptors
                                                                 : available / 2,
                                                             1, kConnectionsInAll);
        }
    }
    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    connections.wakeRead = wake[0];
    connections.wakeWrite = wake[1];
    return true;
}

void HttpServer::start() {
    Connections& connections = *connections_;
    connections.watcher = std::thread([&connections] { connections.watch(); });
    for (std::size_t index = 0; index < kWriters; ++index) {
        connections.writers.emplace_back([&connections] { connections.write(); });
    }
}

void HttpServer::stop() {
    Connections& connections = *connections_;
    if (!connections.watcher.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(connections.mutex);
        connections.stopping = true;
    }
    connections.wake();
    connections.unfinished.notify_all();
    connections.watcher.join();
    for (std::thread& writer : connections.writers) {
        writer.join();
    }
    connections.writers.clear();
    connections.events.stop();
    std::deque<std::unique_ptr<Connection>> waiting;
    std::vector<std::unique_ptr<Connection>> back;
    {
        const std::lock_guard<std::mutex> lock(connections.mutex);
        waiting.swap(connections.unwritten);
        back.swap(connections.returned);
    }
    for (auto& connection : waiting) {
        connections.close(std::move(connection));
    }
    for (auto& connection : back) {
        connections.close(std::move(connection));
    }
    while (!connections.servedSockets.empty()) {
        connections.close(connections.stopServing(connections.servedSockets.begin()->first));
    }
}

}  // namespace sim::live
