// The HTTP server of the live desktop: it listens, turns each request into a plain HttpRequest,
// asks `respond` on the thread `dispatch` runs it on (the session's) and writes the answer. The
// server library parses and answers each request; the connections are this server's own, so that
// no client can hold another's turn:
//
// - One thread watches every connection and reads each request whole (headers and body) before
//   it is dispatched, so a client that sends slowly holds nothing up; a request that is not
//   whole within kRequestSeconds of its first byte is answered 408 and its connection closed,
//   and an idle connection is closed after kIdleSeconds.
// - The answer is written where it was made, as far as the client takes it at once: a request
//   costs two threads' turns (the watcher's and the answering thread's). What a client does not
//   take at once is finished by a writer thread, so that a client that reads slowly holds only
//   a writer.
// - Connections are bounded per client address and in all (within the process's file
//   descriptors, keeping some for the session's own files); at the bound in all, the
//   connection that has sent nothing for longest is closed for a new one, and when every one is
//   busy new connections wait in a listen backlog sized for many clients; beyond the bound per
//   client they are answered 503, as is a request that comes once `dispatch` takes no more.
// - Bodies over kLargestBody are answered 413, bodies without a length 411, unreadable requests
//   400; every error it makes gets a JSON body like the handler's own.
// - An answer that opens an event stream hands its connection to the server's event streams,
//   which write it from then on.
// - A WebSocket, once open, is watched and read on the thread that answers: a message wakes that
//   thread alone, and is answered where it is read. A frame that comes in parts, an answer the
//   client does not take at once and the socket's closing go back to the watcher and the
//   writers, and the socket comes back once it is whole again. An open socket is never closed
//   to make room for a new connection.
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
    // Runs its work later on the thread that answers, without waiting for it; false, without
    // running it, once that thread takes no more work. Work taken but never run is dropped (its
    // request is answered 503).
    using Dispatch = std::function<bool(std::function<void()>)>;
    // On the thread that answers: calls `readable` there whenever `descriptor` can be read or
    // has hung up, until the handle returned is dropped (there, before the descriptor closes;
    // `readable` may drop it). Null when the descriptor cannot be watched.
    using WatchReadable =
        std::function<std::shared_ptr<void>(int descriptor, std::function<void()> readable)>;

    HttpServer(Respond respond, Dispatch dispatch, WatchReadable watchReadable);
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
    // On the thread that answers: no more connections; returns when every server thread has
    // finished.
    void stop();

private:
    struct Connections;
    std::unique_ptr<Connections> connections_;
    int port_ = 0;
};

}  // namespace sim::live
