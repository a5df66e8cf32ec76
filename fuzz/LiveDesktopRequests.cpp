// libFuzzer harness for the live desktop's request handling: any bytes as one HTTP request,
// answered on a session built from the built-in demo's world, as the server would answer it.
//
// Input: a request line ("POST /api/script?x=1 HTTP/1.1" or just "METHOD TARGET"), header lines
// ("Name: value"), an empty line, then the body. Without a Host header the served one is added,
// so that inputs reach past the host check. Query parameters are split at & and = as given.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "DesktopScript/DesktopScript.h"
#include "FuzzCheck.h"
#include "LiveDesktop/HttpFraming.h"
#include "LiveDesktop/LiveDesktopSession.h"
#include "LiveDesktop/LiveSession.h"
#include "LiveDesktop/RequestHandling.h"
#include "sim/Desktop.h"

namespace {

using sim::live::HttpRequest;

std::string_view takeLine(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

HttpRequest requestOf(std::string_view input) {
    HttpRequest request;
    std::string_view requestLine = takeLine(input);
    const std::size_t space = requestLine.find(' ');
    request.method = std::string(requestLine.substr(0, space));
    std::string_view target =
        space == std::string_view::npos ? std::string_view() : requestLine.substr(space + 1);
    target = target.substr(0, target.find(' '));
    const std::size_t question = target.find('?');
    request.path = std::string(target.substr(0, question));
    std::string_view query =
        question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t equals = pair.find('=');
        request.query.emplace_back(std::string(pair.substr(0, equals)),
                                   equals == std::string_view::npos
                                       ? std::string()
                                       : std::string(pair.substr(equals + 1)));
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    }
    for (std::string_view line = takeLine(input); !line.empty(); line = takeLine(input)) {
        const std::size_t colon = line.find(':');
        std::string_view value =
            colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') {
            value.remove_prefix(1);
        }
        request.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    if (!request.header("Host")) {
        request.headers.emplace_back("Host", "127.0.0.1:8080");
    }
    request.body = std::string(input);
    return request;
}

}  // namespace

namespace {

// Requests on one served session, as the server's clients make them: the session is built once
// and renewed only after this many inputs (building it costs far more than a request), so that
// an input that fails is found with the state a short run of requests left.
constexpr int kRequestsPerSession = 200;

class ServedSession {
public:
    ServedSession() {
        static const std::string world = sim::live::demoWorldText();
        static const sim::script::ParsedScript parsed =
            sim::script::parseDesktopScript("demo.desk", world);
        session_.runStartingScript(parsed.script, world, nowhere());
        session_.beginServing(false);
    }
    ~ServedSession() { session_.endServing(); }

    void answer(const HttpRequest& request) {
        handler_.respond(request);
        // What the request changed is read back.
        handler_.respond(requestOf("GET /api/recording"));
    }

private:
    static std::ostream& nowhere() {
        static std::ostream stream(nullptr);
        return stream;
    }

    sim::live::LiveSession session_{nowhere(), nowhere()};
    sim::live::EventStreams events_;
    sim::live::RequestHandler handler_{session_,
                                       {"127.0.0.1", 8080, {}},
                                       sim::live::StaticPages(QUENFOLD_LIVE_DESKTOP_PAGE),
                                       &events_};
};

// The same bytes as the server frames them: a request it takes keeps its framing once its
// Accept-Encoding lines are dropped, and has none left.
void frame(std::string bytes) {
    const sim::live::RequestExtent extent = sim::live::firstRequest(bytes);
    if (extent.length == 0) {
        return;
    }
    const std::size_t length = sim::live::withoutAcceptEncoding(bytes, extent.length);
    fuzzRequire(length <= extent.length && length <= bytes.size(), "the request grew");
    const sim::live::RequestExtent again = sim::live::firstRequest(bytes);
    fuzzRequire(again.refusal == 0 && again.length == length, "the request frames otherwise");
    std::string head = bytes.substr(0, bytes.find("\r\n\r\n") + 2);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    fuzzRequire(head.find("\r\naccept-encoding:") == std::string::npos, "Accept-Encoding is left");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    frame(std::string(reinterpret_cast<const char*>(data), size));
    // Kept to the end of the process (never destroyed after the session's own state).
    static ServedSession* served = nullptr;
    static int requests = 0;
    if (requests++ % kRequestsPerSession == 0) {
        delete served;
        sim::reset();
        served = new ServedSession;
    }
    served->answer(requestOf(std::string_view(reinterpret_cast<const char*>(data), size)));
    return 0;
}
