// The HTTP server of the live desktop, on the server library's threads: it listens, turns each
// request into a plain HttpRequest, asks `respond` (on the calling server thread) and writes the
// answer. The library refuses bodies over kLargestBody itself (413) and answers malformed
// requests; every error it makes gets a JSON body like the handler's own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "LiveDesktop/HttpExchange.h"

namespace sim::live {

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
    // The port listened at.
    int port() const { return port_; }
    // Connections are taken from now on, on threads of the server's own.
    void start();
    // No more connections; returns when every server thread has finished.
    void stop();

private:
    struct Library;
    std::unique_ptr<Library> library_;
    std::thread acceptor_;
    int port_ = 0;
};

}  // namespace sim::live
