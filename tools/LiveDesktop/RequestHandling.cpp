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
    // Exactly one name, as sent: no spaces around it, no second Host header.
    const auto isHost = [](const auto& header) { return lowercased(header.first) == "host"; };
    if (std::count_if(request.headers.begin(), request.headers.end(), isHost) != 1) {
        return false;
    }
    const std::string host =
        lowercased(std::find_if(request.headers.begin(), request.headers.end(), isHost)->second);
    const std::vector<std::string> names = address_.hostNames();
    return std::find(names.begin(), names.end(), host) != names.end();
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
    return false;
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
        auto since = readLineNumber(request.queryValue("since"));
        if (auto* unusable = std::get_if<Unusable>(&since)) {
            return error(400, unusable->message);
        }
        const StoryRing::Lines lines = session_.storyAfter(std::get<std::uint64_t>(since));
        return json(200, Json{{"next", lines.next}, {"lines", lines.lines}});
    }
    if (path == "/api/inspect") {
        if (!isRead(request.method)) {
            return methodNotAllowed("GET");
        }
        auto x = readCoordinate(request.queryValue("x"), "x", kScreenWidth);
        auto y = readCoordinate(request.queryValue("y"), "y", kScreenHeight);
        for (const auto* coordinate : {&x, &y}) {
            if (const auto* unusable = std::get_if<Unusable>(coordinate)) {
                return error(400, unusable->message);
            }
        }
        return json(200, session_.inspect(std::get<double>(x), std::get<double>(y)));
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
        auto action = readHandBody(request.body);
        if (auto* unusable = std::get_if<Unusable>(&action)) {
            return error(400, unusable->message);
        }
        return json(200, session_.hand(std::get<HandAction>(action)));
    }
    if (path == "/api/script") {
        if (request.method != "POST") {
            return methodNotAllowed("POST");
        }
        auto text = readScriptBody(request.body);
        if (auto* unusable = std::get_if<Unusable>(&text)) {
            return error(400, unusable->message);
        }
        const ScriptAnswer answer = session_.runScript(std::get<std::string>(text));
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
