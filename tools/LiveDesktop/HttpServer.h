// The HTTP server of the live desktop: it listens, turns each request into a plain HttpRequest,
// asks `respond` (on a server thread) and writes the answer. The server library parses and
// answers each request; the connections are this server's own, so that no client can hold
// another's turn:
//
// - One thread watches every connection and reads each request whole (headers and body) before
//   a worker takes it, so a client that sends slowly holds no worker; a request that is not
//   whole within kRequestSeconds of its first byte is answered 408 and its connection closed,
//   and an idle connection is closed after kIdleSeconds.
// - Connections are bounded per client address and in all (within the process's file
//   descriptors, keeping some for the session's own files); at the bound in all, the
//   connection that has sent nothing for longest is closed for a new one, and when every one is
//   busy new connections wait in a listen backlog sized for many clients; beyond the bound per
//   client they are answered 503.
// - Bodies over kLargestBody are answered 413, bodies without a length 411, unreadable requests
//   400; every error it makes gets a JSON body like the handler's own.
// - An answer that opens an event stream hands its connection to the server's event streams,
//   which write it from then on.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "LiveDesktop/EventStreams.h"
#include "LiveDesktop/HttpExchange.h"
#include "LiveDesktop/HttpFraming.h"

namespace sim::live {

inline constexpr int kIdleSeconds = 5;
inline constexpr std::size_t kConnectionsPerClient = 512;
inline constexpr std::size_t kConnectionsInAll = 1024;

class HttpServer {
public:
    using Respond = std::function<HttpResponse(const HttpRequest&)>;

    explicit HttpServer(Respond respond);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens at `host`:`port` (0: any free port). False, with the reason, when it
    // cannot.
    bool listen(const std::string& host, int port, std::string* error);
    // Where the session's changes are published to the clients' event streams.
    EventStreams& events();
    // The port listened at.
    int port() const { return port_; }
    // Connections are taken from now on, on threads of the server's own.
    void start();
    // No more connections; returns when every server thread has finished.
    void stop();

private:
    struct Connections;
    std::unique_ptr<Connections> connections_;
    int port_ = 0;
};

}  // namespace sim::live
