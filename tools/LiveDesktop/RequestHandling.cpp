#include "LiveDesktop/RequestHandling.h"

#include <algorithm>
#include <cctype>

#include "LiveDesktop/RequestBodies.h"
#include "LiveDesktop/WebSocketProtocol.h"
#include "sim/Desktop.h"

namespace sim::live {
namespace {

constexpr const char* kJson = "application/json";

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

HttpResponse json(int status, const Json& body) {
    return {status, kJson, jsonText(body), {{"Cache-Control", "no-store"}}, std::nullopt};
}

HttpResponse error(int status, const std::string& message) {
    return json(status, Json{{"error", message}});
}

HttpResponse methodNotAllowed(const std::string& allowed) {
    HttpResponse response = error(405, "this path takes " + allowed + " only");
    response.headers.emplace_back("Allow", allowed);
    return response;
}

bool isRead(const std::string& method) {
    return method == "GET" || method == "HEAD";
}

// Whether a header's comma-separated list holds `token`, compared without regard to case.
bool listHolds(const std::optional<std::string>& list, std::string_view token) {
    const std::string text = lowercased(list.value_or(""));
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(',', start);
        std::string_view item = std::string_view(text).substr(start, end - start);
        item.remove_prefix(std::min(item.size(), item.find_first_not_of(" \t")));
        item.remove_suffix(item.size() - std::min(item.size(), item.find_last_not_of(" \t") + 1));
        if (item == token) {
            return true;
        }
        if (end == std::string::npos) {
            return false;
        }
        start = end + 1;
    }
}

// The hand's requests as a WebSocket's messages: a browser sends a message on an open socket
// much sooner than it starts a request, which a click's answer waits for.
HttpResponse handSocketAnswer(const HttpRequest& request) {
    if (!listHolds(request.header("Connection"), "upgrade")) {
        return error(400, "a WebSocket handshake says Connection: Upgrade");
    }
    if (request.header("Sec-WebSocket-Version") != "13") {
        HttpResponse refusal = error(426, "this server speaks WebSocket version 13");
        refusal.headers.emplace_back("Sec-WebSocket-Version", "13");
        return refusal;
    }
    const std::optional<std::string> key = request.header("Sec-WebSocket-Key");
    if (!key || !isWebSocketKey(*key)) {
        return error(400, "Sec-WebSocket-Key must be 16 bytes in base64");
    }
    HttpResponse opening{101,
                         "",
                         "",
                         {{"Upgrade", "websocket"},
                          {"Connection", "Upgrade"},
                          {"Sec-WebSocket-Accept", webSocketAccept(*key)}},
                         std::nullopt};
    opening.opensWebSocket = true;
    return opening;
}

HttpResponse desktopAnswer(LiveSession& session, const HttpRequest&) {
    return json(200, session.desktop());
}

HttpResponse storyAnswer(LiveSession& session, const HttpRequest& request) {
    std::string problem;
    const auto since = readLineNumber(request.queryValue("since"), &problem);
    if (!since) {
        return error(400, problem);
    }
    const StoryRing::Lines lines = session.storyAfter(*since);
    return json(200, Json{{"next", lines.next}, {"lines", lines.lines}});
}

HttpResponse inspectAnswer(LiveSession& session, const HttpRequest& request) {
    std::string problem;
    const auto x = readCoordinate(request.queryValue("x"), "x", kScreenWidth, &problem);
    const auto y =
        x ? readCoordinate(request.queryValue("y"), "y", kScreenHeight, &problem) : std::nullopt;
    if (!y) {
        return error(400, problem);
    }
    return json(200, session.inspect(*x, *y));
}

HttpResponse recordingAnswer(LiveSession& session, const HttpRequest&) {
    return {200,
            "text/plain; charset=utf-8",
            session.recording(),
            {{"Cache-Control", "no-store"}},
            std::nullopt};
}

HttpResponse handAnswer(LiveSession& session, const HttpRequest& request) {
    std::string problem;
    const std::optional<HandAction> action = readHandBody(request.body, &problem);
    if (!action) {
        return error(400, problem);
    }
    return json(200, session.hand(*action));
}

HttpResponse answerOf(LiveSession& session, const ScriptAnswer& answer) {
    if (answer.refused) {
        return json(400,
                    Json{{"error", "line " + std::to_string(answer.line) + ": " + answer.message},
                         {"ok", false},
                         {"line", answer.line},
                         {"message", answer.message}});
    }
    return json(200, Json{{"ok", answer.ok},
                          {"line", answer.line},
                          {"message", answer.message},
                          {"desktop", session.desktop()}});
}

HttpResponse scriptAnswer(LiveSession& session, const HttpRequest& request) {
    std::string problem;
    const std::optional<std::string> text = readScriptBody(request.body, &problem);
    if (!text) {
        return error(400, problem);
    }
    return answerOf(session, session.runScript(*text));
}

HttpResponse toggleAnswer(LiveSession& session, const HttpRequest& request) {
    std::string problem;
    if (!readToggleBody(request.body, &problem)) {
        return error(400, problem);
    }
    return answerOf(session, session.toggleAccess());
}

struct Route {
    const char* path;
    const char* method;  // "GET" (which takes HEAD as well) or "POST"
    HttpResponse (*answer)(LiveSession&, const HttpRequest&);

    bool takes(const std::string& requestMethod) const {
        return requestMethod == method || (isRead(requestMethod) && isRead(method));
    }
};

// Every request of the session, one row each: its path, the method it takes and its answer.
// clang-format off
const Route kRoutes[] = {
    {"/api/desktop",   "GET",  desktopAnswer},
    {"/api/story",     "GET",  storyAnswer},
    {"/api/inspect",   "GET",  inspectAnswer},
    {"/api/recording", "GET",  recordingAnswer},
    {"/api/hand",      "POST", handAnswer},
    {"/api/script",    "POST", scriptAnswer},
    {"/api/toggle",    "POST", toggleAnswer},
    {"/api/events",    "GET",  nullptr},  // the handler's own: it opens an event stream
};
// clang-format on

}  // namespace

std::string jsonText(const Json& value) {
    // Names from a script file may hold bytes that are not UTF-8: they are replaced, not fatal.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string ServedAddress::authority() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::vector<std::string> ServedAddress::hostNames() const {
    std::vector<std::string> names{lowercased(authority()), "localhost:" + std::to_string(port)};
    if (port == 80) {
        names.push_back(lowercased(authority().substr(0, authority().rfind(':'))));
        names.push_back("localhost");
    }
    return names;
}

RequestHandler::RequestHandler(LiveSession& session, ServedAddress address, StaticPages pages,
                               EventStreams* events)
    : session_(session), address_(std::move(address)), pages_(std::move(pages)), events_(events) {}

HttpResponse RequestHandler::eventsAnswer(const HttpRequest& request) {
    std::string problem;
    const std::optional<std::string> sinceText = request.queryValue("since");
    const auto since = readLineNumber(sinceText, &problem);
    const auto story = since ? readLineNumber(request.queryValue("story"), &problem) : std::nullopt;
    if (!story) {
        return error(400, "since and story must be whole numbers from 0");
    }
    if (events_ == nullptr) {
        return error(503, "this session sends no events");
    }
    const Json changes = session_.changesSince(sinceText ? since : std::nullopt,
                                               request.queryValue("story") ? story : std::nullopt,
                                               request.queryValue("session"));
    // Only news is sent (parts beside the version, base, time and story, or story lines): a
    // client that is up to date hears nothing until a change.
    const bool news = changes.size() > 4 || !changes["story"]["lines"].empty();
    return {200,
            "text/event-stream",
            news ? eventText(jsonText(changes)) : std::string(),
            {{"Cache-Control", "no-store"}},
            events_->open()};
}

std::optional<std::string> RequestHandler::hostOf(const HttpRequest& request) {
    // Exactly one name, as sent: no spaces around it, no second Host header.
    const auto isHost = [](const auto& header) { return lowercased(header.first) == "host"; };
    if (std::count_if(request.headers.begin(), request.headers.end(), isHost) != 1) {
        return std::nullopt;
    }
    return lowercased(std::find_if(request.headers.begin(), request.headers.end(), isHost)->second);
}

bool RequestHandler::hostIsServed(const HttpRequest& request) const {
    const std::optional<std::string> host = hostOf(request);
    if (!host) {
        return false;
    }
    const std::vector<std::string> names = address_.hostNames();
    if (std::find(names.begin(), names.end(), *host) != names.end()) {
        return true;
    }
    // Served to other machines, the session is reached by whatever name their network gives this
    // one; the token, which no page of another site can know, guards it then. The name must
    // still be a plain host with the served port.
    const std::string port = ":" + std::to_string(address_.port);
    return !address_.token.empty() && host->size() > port.size() && host->ends_with(port) &&
           host->find_first_of(" \t/@") == std::string::npos;
}

bool RequestHandler::tokenIsGiven(const HttpRequest& request) const {
    if (address_.token.empty()) {
        return true;
    }
    // The page's own requests send the header; the address the program names carries it in the
    // query, and what the browser fetches by itself (the page's files) the cookie set then.
    if (request.header(kTokenHeader) == address_.token ||
        request.queryValue("token") == address_.token) {
        return true;
    }
    const std::string cookie = request.header("Cookie").value_or("");
    const std::string wanted = std::string(kTokenCookie) + "=" + address_.token;
    for (std::size_t start = 0; start <= cookie.size();) {
        std::size_t end = cookie.find(';', start);
        end = end == std::string::npos ? cookie.size() : end;
        std::string part = cookie.substr(start, end - start);
        part.erase(0, part.find_first_not_of(' '));
        if (part == wanted) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool RequestHandler::originIsServed(const HttpRequest& request) const {
    const std::optional<std::string> origin = request.header("Origin");
    if (!origin) {
        return true;
    }
    for (const std::string& name : address_.hostNames()) {
        if (lowercased(*origin) == "http://" + name) {
            return true;
        }
    }
    // Served to other machines: the page of the name the request was sent to.
    const std::optional<std::string> host = hostOf(request);
    return !address_.token.empty() && host && lowercased(*origin) == "http://" + *host;
}

HttpResponse RequestHandler::respond(const HttpRequest& request) {
    try {
        if (!tokenIsGiven(request)) {
            return error(403,
                         "this session is served to other machines: every request must "
                         "carry its token (the address on the serving line)");
        }
        HttpResponse response = route(request);
        // No other site may show the session's page inside its own.
        response.headers.emplace_back("Content-Security-Policy", "frame-ancestors 'none'");
        response.headers.emplace_back("X-Frame-Options", "DENY");
        if (!address_.token.empty() && request.queryValue("token") == address_.token) {
            response.headers.emplace_back("Set-Cookie", std::string(kTokenCookie) + "=" +
                                                            address_.token +
                                                            "; Path=/; HttpOnly; SameSite=Strict");
        }
        return response;
    } catch (const std::exception& fault) {
        return error(500, std::string("the request could not be handled: ") + fault.what());
    } catch (...) {
        return error(500, "the request could not be handled");
    }
}

HttpResponse RequestHandler::route(const HttpRequest& request) {
    if (!hostIsServed(request)) {
        return error(403, "the Host header must name the served address " + address_.authority() +
                              " or localhost with its port");
    }
    // A WebSocket's messages change the session as POSTs do: only the page's own may open one.
    const bool opensSocket = request.path == "/api/hand" && request.method == "GET" &&
                             listHolds(request.header("Upgrade"), "websocket");
    if ((request.method == "POST" || opensSocket) && !originIsServed(request)) {
        return error(403,
                     "requests that change the session come from the live desktop's own "
                     "page only (Origin http://" +
                         address_.authority() + ")");
    }
    if (request.body.size() > kLargestBody) {
        return error(413, "the body is over 1 MiB");
    }

    if (opensSocket) {
        return handSocketAnswer(request);
    }
    const std::string& path = request.path;
    for (const Route& route : kRoutes) {
        if (path == route.path) {
            if (!route.takes(request.method)) {
                return methodNotAllowed(route.method);
            }
            return route.answer != nullptr ? route.answer(session_, request)
                                           : eventsAnswer(request);
        }
    }
    if (path.rfind("/api/", 0) == 0 || path == "/api") {
        return error(404, "no such request: " + path);
    }
    if (!isRead(request.method)) {
        return methodNotAllowed("GET");
    }
    return pages_.serve(path);
}

}  // namespace sim::live
