#include "LiveDesktop/RequestHandling.h"

#include <algorithm>
#include <cctype>

#include "LiveDesktop/RequestBodies.h"
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
    // Names from a script file may hold bytes that are not UTF-8: they are replaced, not fatal.
    return {status,
            kJson,
            body.dump(-1, ' ', false, Json::error_handler_t::replace),
            {{"Cache-Control", "no-store"}}};
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

HttpResponse desktopAnswer(LiveSession& session, const HttpRequest&) {
    return json(200, session.desktop());
}

HttpResponse storyAnswer(LiveSession& session, const HttpRequest& request) {
    auto since = readLineNumber(request.queryValue("since"));
    if (auto* unusable = std::get_if<Unusable>(&since)) {
        return error(400, unusable->message);
    }
    const StoryRing::Lines lines = session.storyAfter(std::get<std::uint64_t>(since));
    return json(200, Json{{"next", lines.next}, {"lines", lines.lines}});
}

HttpResponse inspectAnswer(LiveSession& session, const HttpRequest& request) {
    auto x = readCoordinate(request.queryValue("x"), "x", kScreenWidth);
    auto y = readCoordinate(request.queryValue("y"), "y", kScreenHeight);
    for (const auto* coordinate : {&x, &y}) {
        if (const auto* unusable = std::get_if<Unusable>(coordinate)) {
            return error(400, unusable->message);
        }
    }
    return json(200, session.inspect(std::get<double>(x), std::get<double>(y)));
}

HttpResponse recordingAnswer(LiveSession& session, const HttpRequest&) {
    return {200, "text/plain; charset=utf-8", session.recording(), {{"Cache-Control", "no-store"}}};
}

HttpResponse handAnswer(LiveSession& session, const HttpRequest& request) {
    auto action = readHandBody(request.body);
    if (auto* unusable = std::get_if<Unusable>(&action)) {
        return error(400, unusable->message);
    }
    return json(200, session.hand(std::get<HandAction>(action)));
}

HttpResponse scriptAnswer(LiveSession& session, const HttpRequest& request) {
    auto text = readScriptBody(request.body);
    if (auto* unusable = std::get_if<Unusable>(&text)) {
        return error(400, unusable->message);
    }
    const ScriptAnswer answer = session.runScript(std::get<std::string>(text));
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
};
// clang-format on

}  // namespace

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

RequestHandler::RequestHandler(LiveSession& session, ServedAddress address, StaticPages pages)
    : session_(session), address_(std::move(address)), pages_(std::move(pages)) {}

bool RequestHandler::hostIsServed(const HttpRequest& request) const {
    const std::optional<std::string> host = request.header("Host");
    if (!host) {
        return false;
    }
    const std::vector<std::string> names = address_.hostNames();
    return std::find(names.begin(), names.end(), lowercased(*host)) != names.end();
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
    return false;
}

HttpResponse RequestHandler::respond(const HttpRequest& request) {
    try {
        return route(request);
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
    if (request.method == "POST" && !originIsServed(request)) {
        return error(403,
                     "requests that change the session come from the live desktop's own "
                     "page only (Origin http://" +
                         address_.authority() + ")");
    }
    if (request.body.size() > kLargestBody) {
        return error(413, "the body is over 1 MiB");
    }

    const std::string& path = request.path;
    for (const Route& route : kRoutes) {
        if (path == route.path) {
            return route.takes(request.method) ? route.answer(session_, request)
                                               : methodNotAllowed(route.method);
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
