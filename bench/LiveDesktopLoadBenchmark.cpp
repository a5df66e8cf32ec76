// The live desktop's server under load, on loopback only, ending by itself (about half a minute):
//
// 1. 64 slow connections held open (each sends a header line every second and never ends its
//    request) while one well-behaved client asks for the desktop again and again: its latency.
// 2. 500 clients at once, 20 requests each, a new connection for every request: connections
//    that fail (reset, refused), and the latency of the others.
// 3. The hand's events (press and release, as the page sends them, with the version it has):
//    their latency, the server's processor time and the answers' size with one client, and the
//    throughput of eight clients at once against one's; beside them, the latency of a request
//    that asks for nothing (a path that is not there), the least any request can take through
//    the server and the loopback on this machine; and the same events as the page sends them,
//    as messages of a WebSocket opened at the hand.
//
//   build/bench/live_desktop_load_benchmark
//   QUENFOLD_PROGRAM=/tmp/old/Quenfold.app/Contents/MacOS/Quenfold build/bench/...   # another
//   build
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ServedProgram.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Latencies {
    std::mutex mutex;
    std::vector<double> milliseconds;
    std::atomic<int> failed{0};

    void add(double value) {
        const std::lock_guard<std::mutex> lock(mutex);
        milliseconds.push_back(value);
    }
    void print(const char* what) {
        std::sort(milliseconds.begin(), milliseconds.end());
        const auto at = [&](double share) {
            return milliseconds.empty()
                       ? 0.0
                       : milliseconds[std::min(
                             milliseconds.size() - 1,
                             static_cast<std::size_t>(share * milliseconds.size()))];
        };
        std::printf("%s: %zu answered, %d failed; p50 %.3f ms, p99 %.3f ms, max %.2f ms\n", what,
                    milliseconds.size(), failed.load(), at(0.5), at(0.99),
                    milliseconds.empty() ? 0.0 : milliseconds.back());
    }
};

// One request on a connection of its own; false when the connection failed.
bool askDesktop(int port, Latencies& latencies) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(10);
    client.set_read_timeout(10);
    const auto start = Clock::now();
    const httplib::Result result = client.Get("/api/desktop");
    if (!result || result->status != 200) {
        ++latencies.failed;
        return false;
    }
    latencies.add(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    return true;
}

// A connection that has sent `start`; -1 when it failed.
int connectionWith(int port, const std::string& start) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    send(fd, start.data(), start.size(), MSG_NOSIGNAL);
    return fd;
}

std::string requestHead(const char* target, int port) {
    return std::string("GET ") + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\n";
}

void slowClientsAndOneWellBehaved(int port) {
    std::vector<int> slow;
    for (int index = 0; index < 64; ++index) {
        slow.push_back(connectionWith(port, requestHead("/api/desktop", port)));
    }
    std::atomic<bool> done{false};
    std::thread dribble([&] {
        for (int line = 0; !done; ++line) {
            for (int fd : slow) {
                const std::string header = "X-Line-" + std::to_string(line) + ": 1\r\n";
                send(fd, header.data(), header.size(), MSG_NOSIGNAL);
            }
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });
    Latencies latencies;
    const auto end = Clock::now() + std::chrono::seconds(8);
    while (Clock::now() < end) {
        askDesktop(port, latencies);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    done = true;
    dribble.join();
    for (int fd : slow) {
        close(fd);
    }
    latencies.print("64 slow connections held open, one well-behaved client");
}

void manyClients(int port) {
    Latencies latencies;
    std::vector<std::thread> clients;
    const auto start = Clock::now();
    for (int client = 0; client < 500; ++client) {
        clients.emplace_back([&] {
            for (int request = 0; request < 20; ++request) {
                askDesktop(port, latencies);
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    latencies.print("500 clients x 20 requests, a connection each");
    std::printf("  in %.1f s\n", std::chrono::duration<double>(Clock::now() - start).count());
}

// `clients` clients each sending `events` hand events (press, release, ...) on a connection of
// its own, with the version the client has when the server takes it (a server that does not know
// it is asked without); the events per second in all.
double handEvents(int port, int clients, int events, Latencies& latencies,
                  std::atomic<std::size_t>& answered) {
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&, client] {
            httplib::Client connection("127.0.0.1", port);
            connection.set_keep_alive(true);
            connection.set_tcp_nodelay(true);
            const httplib::Result first = connection.Get("/api/desktop");
            long long version = first ? std::atoll(first->body.c_str() + 11) : 0;
            bool sendsVersion = true;
            for (int event = 0; event < events; ++event) {
                const std::string point = ",\"x\":" + std::to_string(1000 + client * 20) +
                                          ",\"y\":" + std::to_string(300 + event % 2 * 5);
                const std::string action = event % 2 == 0 ? "press" : "release";
                const std::string since =
                    sendsVersion ? ",\"since\":" + std::to_string(version) : std::string();
                const auto sent = Clock::now();
                httplib::Result answer = connection.Post(
                    "/api/hand", "{\"action\":\"" + action + "\"" + point + since + "}",
                    "application/json");
                if (answer && answer->status == 400 && sendsVersion) {
                    sendsVersion = false;
                    continue;
                }
                if (!answer || answer->status != 200) {
                    ++latencies.failed;
                    continue;
                }
                latencies.add(
                    std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
                answered += answer->body.size();
                if (const std::size_t at = answer->body.find("\"version\":");
                    at != std::string::npos) {
                    version = std::atoll(answer->body.c_str() + at + 10);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return clients * events / std::chrono::duration<double>(Clock::now() - start).count();
}

// Reads exactly `size` bytes; false when the connection ended or failed first.
bool receiveWhole(int fd, void* into, std::size_t size) {
    auto* bytes = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t got = recv(fd, bytes, size, 0);
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// A WebSocket to the hand, as the page keeps one: a handshake, then messages masked with a key
// of zeros (which leaves the payload as it is) and answers read whole.
class HandSocket {
public:
    explicit HandSocket(int port)
        : fd_(connectionWith(
              port, requestHead("/api/hand", port) +
                        "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n")) {
        std::string head;
        char byte = 0;
        while (head.find("\r\n\r\n") == std::string::npos && recv(fd_, &byte, 1, 0) == 1) {
            head += byte;
        }
        open_ = head.rfind("HTTP/1.1 101", 0) == 0;
    }
    ~HandSocket() { close(fd_); }
    HandSocket(const HandSocket&) = delete;
    HandSocket& operator=(const HandSocket&) = delete;

    // The answer to `message` (under 64 KiB); empty when the socket failed.
    std::string ask(const std::string& message) {
        std::string frame{'\x81'};
        if (message.size() < 126) {
            frame += static_cast<char>(0x80 | message.size());
        } else {
            frame += {'\xfe', static_cast<char>(message.size() >> 8),
                      static_cast<char>(message.size() & 0xff)};
        }
        frame += std::string(4, '\0') + message;
        if (!open_ || send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) !=
                          static_cast<ssize_t>(frame.size())) {
            return {};
        }
        unsigned char head[2];
        if (!receiveWhole(fd_, head, 2)) {
            return {};
        }
        std::size_t length = head[1] & 0x7f;
        const int lengthBytes = length == 126 ? 2 : length == 127 ? 8 : 0;
        if (lengthBytes > 0) {
            unsigned char extended[8];
            if (!receiveWhole(fd_, extended, lengthBytes)) {
                return {};
            }
            length = 0;
            for (int index = 0; index < lengthBytes; ++index) {
                length = length << 8 | extended[index];
            }
        }
        std::string answer(length, '\0');
        return receiveWhole(fd_, answer.data(), length) && head[0] == 0x81 ? answer : std::string();
    }

private:
    int fd_;
    bool open_ = false;
};

// One client's hand events (press, release, ...) on the hand's WebSocket, with the version it has.
void handEventsOnTheSocket(const ServedProgram& desktop, int events) {
    HandSocket socket(desktop.port());
    Latencies latencies;
    std::size_t bytes = 0;
    long long version = 0;
    const double processorBefore = desktop.processorSeconds();
    for (int event = 0; event < events; ++event) {
        const std::string message = std::string("{\"action\":\"") +
                                    (event % 2 == 0 ? "press" : "release") +
                                    "\",\"x\":1000,\"y\":" + std::to_string(300 + event % 2 * 5) +
                                    ",\"since\":" + std::to_string(version) + "}";
        const auto sent = Clock::now();
        const std::string answer = socket.ask(message);
        const std::size_t at = answer.find("\"version\":");
        if (at == std::string::npos) {
            ++latencies.failed;
            continue;
        }
        latencies.add(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        bytes += answer.size();
        version = std::atoll(answer.c_str() + at + 10);
    }
    const double processor = desktop.processorSeconds() - processorBefore;
    latencies.print("hand events on the hand's WebSocket, one client");
    std::printf("  the server's processor time %.0f us an event; answers %.0f bytes on average\n",
                processor * 1e6 / events, static_cast<double>(bytes) / events);
}

// One client asking for a path that is not there, again and again on one connection: the
// server's way there and back with no work on the session's thread.
void requestsForNothing(int port) {
    httplib::Client connection("127.0.0.1", port);
    connection.set_keep_alive(true);
    connection.set_tcp_nodelay(true);
    Latencies latencies;
    for (int request = 0; request < 4000; ++request) {
        const auto sent = Clock::now();
        const httplib::Result answer = connection.Get("/nothing");
        if (!answer || answer->status != 404) {
            ++latencies.failed;
            continue;
        }
        latencies.add(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    }
    latencies.print("requests for nothing (404), one client");
}

// The machine's floor for any server: a bare TCP echo on loopback between this process and a
// child that does nothing else, one small message there and back at a time. Both sides sleep
// in the kernel between messages, as the server and its client do.
void bareEchoBetweenTwoProcesses() {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        listen(listener, 1) != 0) {
        std::printf("bare echo: no listening socket\n");
        close(listener);
        return;
    }
    const int noDelay = 1;
    const pid_t echo = fork();
    if (echo == 0) {  // only system calls from here: the parent has threads
        const int connection = accept(listener, nullptr, nullptr);
        setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        char buffer[256];
        for (ssize_t got; (got = read(connection, buffer, sizeof buffer)) > 0;) {
            if (write(connection, buffer, static_cast<std::size_t>(got)) != got) {
                break;
            }
        }
        _exit(0);
    }
    close(listener);
    const int fd = echo > 0 ? connectionWith(ntohs(address.sin_port), "") : -1;
    Latencies latencies;
    if (fd >= 0) {
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        char message[48] = {};
        for (int round = 0; round < 4000; ++round) {
            const auto sent = Clock::now();
            if (write(fd, message, sizeof message) != sizeof message ||
                !receiveWhole(fd, message, sizeof message)) {
                ++latencies.failed;
                break;
            }
            latencies.add(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        }
    }
    if (fd >= 0) {
        close(fd);
    }
    if (echo > 0) {
        waitpid(echo, nullptr, 0);
    }
    latencies.print("bare TCP echo between two processes, no server (this machine's floor)");
}

void handEventsOneAndEight(const ServedProgram& desktop) {
    const int port = desktop.port();
    bareEchoBetweenTwoProcesses();
    requestsForNothing(port);
    Latencies one;
    std::atomic<std::size_t> bytes{0};
    const double processorBefore = desktop.processorSeconds();
    const double alone = handEvents(port, 1, 4000, one, bytes);
    const double processor = desktop.processorSeconds() - processorBefore;
    one.print("hand events, one client");
    std::printf("  the server's processor time %.0f us an event; answers %.0f bytes on average\n",
                processor * 1e6 / 4000, static_cast<double>(bytes) / 4000);
    handEventsOnTheSocket(desktop, 4000);
    Latencies eight;
    const double together = handEvents(port, 8, 1000, eight, bytes);
    eight.print("hand events, eight clients at once");
    std::printf("  throughput: one client %.0f events/s, eight %.0f events/s (%.2fx)\n", alone,
                together, together / alone);
}

}  // namespace

int main() {
    ServedProgram desktop;
    handEventsOneAndEight(desktop);
    slowClientsAndOneWellBehaved(desktop.port());
    manyClients(desktop.port());
    const int status = desktop.stop();
    std::printf("the program ended with exit status %d\n", status);
    return status == 0 ? 0 : 1;
}
