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
    if (path == "/api/desktop") {
        return isRead(request.method) ? json(200, session_.desktop()) : methodNotAllowed("GET");
    }
    if (path == "/api/story") {
        if (!isRead(request.method)) {
            return methodNotAllowed("GET");
        }
        std::string problem;
        const auto since = readLineNumber(request.queryValue("since"), &problem);
        if (!since) {
            return error(400, problem);
        }
        const StoryRing::Lines lines = session_.storyAfter(*since);
        return json(200, Json{{"next", lines.next}, {"lines", lines.lines}});
    }
    if (path == "/api/inspect") {
        if (!isRead(request.method)) {
            return methodNotAllowed("GET");
        }
        std::string problem;
        const auto x = readCoordinate(request.queryValue("x"), "x", kScreenWidth, &problem);
        const auto y = x ? readCoordinate(request.queryValue("y"), "y", kScreenHeight, &problem)
                         : std::nullopt;
        if (!y) {
            return error(400, problem);
        }
        return json(200, session_.inspect(*x, *y));
    }
    if (path == "/api/recording") {
        if (!isRead(request.method)) {
            return methodNotAllowed("GET");
        }
        return {200,
                "text/plain; charset=utf-8",
                session_.recording(),
                {{"Cache-Control", "no-store"}}};
    }
    if (path == "/api/hand") {
        if (request.method != "POST") {
            return methodNotAllowed("POST");
        }
        std::string problem;
        const std::optional<HandAction> action = readHandBody(request.body, &problem);
        if (!action) {
            return error(400, problem);
        }
        return json(200, session_.hand(*action));
    }
    if (path == "/api/script") {
        if (request.method != "POST") {
            return methodNotAllowed("POST");
        }
        std::string problem;
        const std::optional<std::string> text = readScriptBody(request.body, &problem);
        if (!text) {
            return error(400, problem);
        }
        const ScriptAnswer answer = session_.runScript(*text);
        if (answer.refused) {
            return json(
                400, Json{{"error", "line " + std::to_string(answer.line) + ": " + answer.message},
                          {"ok", false},
                          {"line", answer.line},
                          {"message", answer.message}});
        }
        return json(200, Json{{"ok", answer.ok},
                              {"line", answer.line},
                              {"message", answer.message},
                              {"desktop", session_.desktop()}});
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
