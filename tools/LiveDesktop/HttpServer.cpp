#include "LiveDesktop/HttpServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "LiveDesktop/RequestBodies.h"

namespace sim::live {
namespace {

// Enough for a browser's parallel connections and a benchmark's, with keep-alive.
constexpr std::size_t kServerThreads = 16;
// An idle keep-alive connection holds a server thread; it is let go after this long, which also
// bounds how long stopping waits for one.
constexpr time_t kKeepAliveSeconds = 2;

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

// The errors the library answers by itself.
std::string reasonOf(int status) {
    switch (status) {
        case 400:
            return "the request cannot be read";
        case 404:
            return "no such path";
        case 413:
            return "the body is over 1 MiB";
        case 414:
            return "the request's path is too long";
        case 416:
            return "the range cannot be served";
        default:
            return "the request failed with HTTP status " + std::to_string(status);
    }
}

}  // namespace

struct HttpServer::Library {
    httplib::Server server;
    std::atomic<bool> ended{false};
};

HttpServer::HttpServer(Respond respond) : library_(std::make_unique<Library>()) {
    httplib::Server& server = library_->server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    // Reusing an address left in TIME_WAIT is fine; sharing a port with another process is not.
    server.set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Answers are small and wanted at once: no waiting to fill a packet.
    server.set_tcp_nodelay(true);
    server.set_payload_max_length(kLargestBody);
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    const httplib::Server::Handler handle = [respond = std::move(respond)](
                                                const httplib::Request& request,
                                                httplib::Response& response) {
        const HttpResponse answer = respond(plainRequest(request));
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
    // What the library answers itself (a body too large, a request it cannot read) gets the
    // same kind of body as the handler's errors.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            response.set_content("{\"error\":\"" + reasonOf(response.status) + "\"}",
                                 "application/json");
            return httplib::Server::HandlerResponse::Handled;
        }));
}

HttpServer::~HttpServer() {
    stop();
}

bool HttpServer::listen(const std::string& host, int port, std::string* error) {
    errno = 0;
    port_ = port == 0 ? library_->server.bind_to_any_port(host)
                      : (library_->server.bind_to_port(host, port) ? port : -1);
    if (port_ >= 0) {
        return true;
    }
    *error = errno != 0 ? std::strerror(errno) : "no such address on this machine";
    return false;
}

void HttpServer::start() {
    acceptor_ = std::thread([this] {
        library_->server.listen_after_bind();
        library_->ended = true;
    });
}

void HttpServer::stop() {
    if (acceptor_.joinable()) {
        // The library ignores a stop that comes before it runs: wait for it to run (or fail).
        while (!library_->server.is_running() && !library_->ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        library_->server.stop();
        acceptor_.join();
    }
}

}  // namespace sim::live
