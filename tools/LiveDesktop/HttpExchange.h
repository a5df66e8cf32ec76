// One HTTP exchange as the live desktop's request handling sees it: plain values, with no
// socket and no server library behind them, so that the handling can be tested and fuzzed on
// its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim::live {

struct HttpRequest {
    std::string method;                                        // "GET", "POST", …
    std::string path;                                          // percent-decoded
    std::vector<std::pair<std::string, std::string>> query;    // decoded, in order
    std::vector<std::pair<std::string, std::string>> headers;  // names in any case
    std::string body;

    // The first header of that name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
    // The first query parameter of that name.
    std::optional<std::string> queryValue(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beyond the content type
    // The event stream (EventStreams) this answer opens: the body is its first events, and the
    // connection stays open for the ones to come.
    std::optional<std::uint64_t> stream;
    // The answer (101) opens a WebSocket on the request's path: each text message the client
    // sends there is then the body of a POST to that path, and its answer's body comes back as a
    // text message.
    bool opensWebSocket = false;
};

}  // namespace sim::live
