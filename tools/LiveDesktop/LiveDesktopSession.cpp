#include "LiveDesktop/LiveDesktopSession.h"

#include <charconv>
#include <iostream>
#include <sstream>

#include "CoreFoundation/CFRunLoop.h"
#include "DesktopScript/DesktopScriptRunner.h"
#include "DesktopScript/DesktopSession.h"
#include "Foundation/Foundation.h"
#include "LiveDesktop/HttpServer.h"
#include "LiveDesktop/LiveSession.h"
#include "LiveDesktop/MainThreadHandoff.h"
#include "LiveDesktop/RequestHandling.h"
#include "LiveDesktop/StopSignals.h"
#include "sim/Desktop.h"
#include "sim/ProcessArguments.h"

namespace sim::live {
namespace {

constexpr const char* kServeKey = "SimulatedServe";
constexpr const char* kHostKey = "SimulatedServeHost";
constexpr const char* kDefaultHost = "127.0.0.1";
constexpr const char* kDemoWorldName = "demo.desk";
// The serving loop looks up at least this often even when nothing happens.
constexpr CFTimeInterval kLongestSleep = 3600;

std::optional<int> portNumber(const std::string& text) {
    int port = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || port < 0 ||
        port > 65535) {
        return std::nullopt;
    }
    return port;
}

// Where to serve, as the command line asks: the port of -SimulatedServe and the host of
// -SimulatedServeHost (the loopback address when none is named); none, with the reason written
// to `errors`, when the command line asks for something that cannot be served.
struct ServedPlace {
    std::string host;
    int port = 0;
};

std::optional<ServedPlace> servedPlace(std::ostream& errors) {
    const std::optional<std::string> portText = commandLineValue(kServeKey);
    if (!portText) {
        errors << "-" << kServeKey << ": a value must follow\n";
        return std::nullopt;
    }
    const std::optional<int> port = portNumber(*portText);
    if (!port) {
        errors << "-" << kServeKey << ": the port must be a whole number from 0 to 65535, not \""
               << *portText << "\"\n";
        return std::nullopt;
    }
    const std::string host = commandLineValue(kHostKey).value_or(kDefaultHost);
    if (host.empty()) {
        errors << "-" << kHostKey << ": the host is not named\n";
        return std::nullopt;
    }
    return ServedPlace{host, *port};
}

// Runs the main run loop until a stop signal's work has run, looking at the desktop after
// everything the loop handles.
void serve(LiveSession& session, MainThreadHandoff& handoff, const bool& stopRequested,
           std::ostream& output) {
    while (!stopRequested) {
        handoff.keepScheduled();
        // Each pass of the loop drains its own pool, as the application's event loop does.
        NSAutoreleasePool pool;
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, kLongestSleep, true);
        session.noticeChanges();
        output.flush();
    }
}

}  // namespace

bool servesLiveDesktop(int argc, const char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == std::string("-") + kServeKey) {
            return true;
        }
    }
    return false;
}

std::string demoWorldText() {
    const std::string demo(builtInDemoScript());
    const script::ParsedScript parsed = script::parseDesktopScript(kDemoWorldName, demo);
    std::vector<std::string> lines;
    std::istringstream reading(demo);
    for (std::string line; std::getline(reading, line);) {
        lines.push_back(line);
    }
    std::string world;
    for (const script::Statement& statement : parsed.script.statements) {
        const bool isWorld = std::holds_alternative<script::AppStatement>(statement.action) ||
                             std::holds_alternative<script::WindowStatement>(statement.action) ||
                             std::holds_alternative<script::DockItemStatement>(statement.action);
        if (isWorld && statement.line >= 1 &&
            static_cast<std::size_t>(statement.line) <= lines.size()) {
            world += lines[statement.line - 1] + "\n";
        }
    }
    return world;
}

int runLiveDesktopSession(int argc, const char* argv[], std::istream& input, std::ostream& output,
                          std::ostream& errors) {
    setProcessArguments(argc, argv);
    const std::optional<ServedPlace> place = servedPlace(errors);
    if (!place) {
        return script::kScriptUnusable;
    }
    const std::optional<StartedSession> started = startDesktopSession(
        argc, argv, {kDemoWorldName, demoWorldText()}, {kServeKey, kHostKey}, input, errors);
    if (!started) {
        return script::kScriptUnusable;
    }

    // Everything from here hands its work to the main thread; the stop signals' watch comes
    // before any other thread, so that no other thread takes them.
    MainThreadHandoff handoff;
    bool stopRequested = false;
    const StopSignals signals([&handoff, &stopRequested] {
        handoff.post([&stopRequested] {
            stopRequested = true;
            CFRunLoopStop(CFRunLoopGetMain());
        });
    });
    RequestHandler* handler = nullptr;  // set once the session serves; the server waits for it
    HttpServer server([&handoff, &handler](const HttpRequest& request) {
        HttpResponse answer;
        if (!handoff.perform([&] { answer = handler->respond(request); })) {
            answer = {503, "application/json", R"({"error":"the session has ended"})", {}};
        }
        return answer;
    });
    std::string reason;
    if (!server.listen(place->host, place->port, &reason)) {
        errors << "-" << kServeKey << ": cannot listen at " << place->host << " port "
               << place->port << ": " << reason << '\n';
        return script::kScriptUnusable;
    }
    const ServedAddress address{place->host, server.port()};
    output << "serving http://" << address.authority() << "/" << std::endl;

    LiveSession session(output, errors);
    const int status =
        session.runStartingScript(started->statements(), started->scriptText, errors);
    if (status != script::kScriptRan) {
        return status;
    }
    session.beginServing(true);
    RequestHandler requests(session, address, StaticPages(QUENFOLD_LIVE_DESKTOP_PAGE));
    handler = &requests;
    server.start();
    serve(session, handoff, stopRequested, output);
    // The session ends as a script's does: no request is taken any more, the ones waiting are
    // answered 503, and every server thread has finished before the session goes.
    handoff.close();
    server.stop();
    session.endServing();
    return script::kScriptRan;
}

int runLiveDesktopSession(int argc, const char* argv[]) {
    const int status = runLiveDesktopSession(argc, argv, std::cin, std::cout, std::cerr);
    reset();
    return status;
}

}  // namespace sim::live
