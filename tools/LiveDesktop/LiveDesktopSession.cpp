#include "LiveDesktop/LiveDesktopSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdint>
#include <iostream>
#include <random>
#include <sstream>

#include "CoreFoundation/CFRunLoop.h"
#include "DesktopScript/DesktopScriptRunner.h"
#include "DesktopScript/DesktopSession.h"
#include "Foundation/NSAutoreleasePool.h"
#include "LiveDesktop/HttpServer.h"
#include "LiveDesktop/LiveSession.h"
#include "LiveDesktop/MainThreadHandoff.h"
#include "LiveDesktop/QueuedTerminal.h"
#include "LiveDesktop/RequestHandling.h"
#include "LiveDesktop/StopSignals.h"
#include "sim/Desktop.h"
#include "sim/ProcessArguments.h"

namespace sim::live {
namespace {

constexpr const char* kServeKey = "SimulatedServe";
constexpr const char* kHostKey = "SimulatedServeHost";
constexpr const char* kRemoteKey = "SimulatedServeRemote";
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

// Runs the main run loop until a stop signal has come. The session looks at the desktop after
// what may have changed it: its own actions do so themselves, and what else runs (timers,
// deferred work) moves the clock or runs outside the handoff; requests that only read change
// nothing.
void serve(LiveSession& session, MainThreadHandoff& handoff, const std::atomic<bool>& stopped) {
    while (!stopped) {
        handoff.keepScheduled();
        // Each pass of the loop drains its own pool, as the application's event loop does.
        NSAutoreleasePool pool;
        const std::uint64_t jobsBefore = handoff.jobsRun();
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, kLongestSleep, true);
        if (handoff.jobsRun() == jobsBefore || session.clockMovedSinceNoticed()) {
            session.noticeChanges();
        }
    }
}

// Whether `host` names this machine only: 127.0.0.0/8, ::1 (an IPv4 address in IPv6 form
// included) or localhost.
bool isLoopback(const std::string& host) {
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    }
    return host == "localhost";
}

// 128 random bits in hexadecimal.
std::string newToken() {
    std::random_device source;
    std::string token;
    constexpr const char* kDigits = "0123456789abcdef";
    for (int word = 0; word < 4; ++word) {
        const std::uint32_t bits = source();
        for (int shift = 28; shift >= 0; shift -= 4) {
            token += kDigits[(bits >> shift) & 0xF];
        }
    }
    return token;
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

int runLiveDesktopSession(int argc, const char* argv[], std::istream& input, int output,
                          std::ostream& errors) {
    // The stop signals are watched from the start, before any other thread is made (every later
    // thread inherits them blocked): a signal that comes while the session starts ends it as
    // soon as it serves. The main run loop is woken once there is a handoff to wake it with.
    std::atomic<bool> stopped{false};
    std::atomic<MainThreadHandoff*> wake{nullptr};
    const StopSignals signals([&stopped, &wake] {
        stopped = true;
        if (MainThreadHandoff* handoff = wake.load()) {
            handoff->post([] { CFRunLoopStop(CFRunLoopGetMain()); });
        }
    });
    // The story reaches standard output through a queue of its own, so that a reader that
    // stops reading never holds the session.
    QueuedTerminal terminal(output);

    setProcessArguments(argc, argv);
    const std::optional<std::string> portText = commandLineValue(kServeKey);
    if (!portText) {
        errors << "-" << kServeKey << ": a value must follow\n";
        return script::kScriptUnusable;
    }
    const std::optional<int> port = portNumber(*portText);
    if (!port) {
        errors << "-" << kServeKey << ": the port must be a whole number from 0 to 65535, not \""
               << *portText << "\"\n";
        return script::kScriptUnusable;
    }
    const std::string host = commandLineValue(kHostKey).value_or(kDefaultHost);
    if (host.empty()) {
        errors << "-" << kHostKey << ": the host is not named\n";
        return script::kScriptUnusable;
    }
    const std::string remoteText = commandLineValue(kRemoteKey).value_or("NO");
    if (remoteText != "YES" && remoteText != "NO") {
        errors << "-" << kRemoteKey << ": YES or NO, not \"" << remoteText << "\"\n";
        return script::kScriptUnusable;
    }
    const bool remote = remoteText == "YES";
    if (!remote && !isLoopback(host)) {
        errors << "-" << kHostKey << ": " << host
               << " is not a loopback address; serving other machines takes -" << kRemoteKey
               << " YES\n";
        return script::kScriptUnusable;
    }
    const std::optional<StartedSession> started =
        startDesktopSession(argc, argv, {kDemoWorldName, demoWorldText()},
                            {kServeKey, kHostKey, kRemoteKey}, input, errors);
    if (!started) {
        return script::kScriptUnusable;
    }

    // Everything from here hands its work to the main thread.
    MainThreadHandoff handoff;
    wake = &handoff;
    RequestHandler* handler = nullptr;  // set once the session serves; the server waits for it
    HttpServer server(
        [&handler](const HttpRequest& request) { return handler->respond(request); },
        [&handoff](std::function<void()> work) { return handoff.post(std::move(work)); },
        [&handoff](int descriptor, std::function<void()> readable) {
            return handoff.watchReadable(descriptor, std::move(readable));
        });
    std::string reason;
    if (!server.listen(host, *port, &reason)) {
        errors << "-" << kServeKey << ": cannot listen at " << host << " port " << *port << ": "
               << reason << '\n';
        wake = nullptr;
        return script::kScriptUnusable;
    }
    const ServedAddress address{host, server.port(), remote ? newToken() : std::string()};
    terminal << "serving http://" << address.authority() << "/"
             << (remote ? "?token=" + address.token : std::string()) << '\n';

    LiveSession session(terminal, errors);
    const int status =
        session.runStartingScript(started->statements(), started->scriptText, errors);
    if (status != script::kScriptRan) {
        wake = nullptr;
        return status;
    }
    session.beginServing(true);
    EventStreams& events = server.events();
    session.setChangeListener([&events](const Json& changes) { events.publish(jsonText(changes)); },
                              [&events] { return events.listening(); });
    RequestHandler requests(session, address, StaticPages(QUENFOLD_LIVE_DESKTOP_PAGE), &events);
    handler = &requests;
    server.start();
    serve(session, handoff, stopped);
    // The session ends as a script's does: no request is taken any more, the ones waiting are
    // answered 503, and every server thread has finished before the session goes.
    wake = nullptr;
    handoff.close();
    server.stop();
    session.endServing();
    return script::kScriptRan;
}

int runLiveDesktopSession(int argc, const char* argv[]) {
    const int status = runLiveDesktopSession(argc, argv, std::cin, STDOUT_FILENO, std::cerr);
    reset();
    return status;
}

}  // namespace sim::live
