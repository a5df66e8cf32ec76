// The live desktop's requests, answered: one plain function of the request (method, path,
// query, headers, body) to the response (status, content type, body), with no socket behind
// it. It runs on the main thread: the server's threads hand each request over.
//
// Refused before anything else: when the session is served to other machines, a request that
// does not carry its token (the header X-Quenfold-Token, the query's "token" or the cookie set
// when the page was loaded with it), with 403; a Host header that is not the served address (or
// localhost with its port) with 403, so that a page of another site cannot reach the session
// through a name that resolves here; a POST, or the opening of the hand's WebSocket, whose Origin
// is present and not the served origin with 403; a body over 1 MiB with 413. A malformed body, a
// value of the wrong type or a script that cannot run here is answered 400 and changes nothing.
// Errors answer {"error": "…"}. Every answer forbids being shown inside another site's page.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "LiveDesktop/EventStreams.h"
#include "LiveDesktop/HttpExchange.h"
#include "LiveDesktop/LiveSession.h"
#include "LiveDesktop/StaticPages.h"

namespace sim::live {

// Where the live desktop is served: the host as given on the command line and the real port.
struct ServedAddress {
    std::string host;
    int port = 0;
    std::string token;  // empty unless the session is served to other machines

    // "127.0.0.1:8080", "[::1]:8080".
    std::string authority() const;
    // The Host header values that name it: the authority, and localhost with the port (without
    // the port as well when it is HTTP's own, 80).
    std::vector<std::string> hostNames() const;
};

// JSON as the session's answers carry it.
std::string jsonText(const Json& value);

inline constexpr const char* kTokenHeader = "X-Quenfold-Token";
inline constexpr const char* kTokenCookie = "quenfold-token";

class RequestHandler {
public:
    // Event streams are opened on `events` (none: /api/events is answered 503).
    RequestHandler(LiveSession& session, ServedAddress address, StaticPages pages,
                   EventStreams* events = nullptr);

    // Never throws: a fault of the handling itself is answered 500.
    HttpResponse respond(const HttpRequest& request);

private:
    HttpResponse route(const HttpRequest& request);
    static std::optional<std::string> hostOf(const HttpRequest& request);
    bool hostIsServed(const HttpRequest& request) const;
    bool tokenIsGiven(const HttpRequest& request) const;
    bool originIsServed(const HttpRequest& request) const;
    HttpResponse eventsAnswer(const HttpRequest& request);

    LiveSession& session_;
    ServedAddress address_;
    StaticPages pages_;
    EventStreams* events_;
};

}  // namespace sim::live
