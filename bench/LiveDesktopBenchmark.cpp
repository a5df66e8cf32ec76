// The live desktop served by the program itself, used through its HTTP interface as a browser
// would: how long a click's release takes from request to answer, and whether the server's
// memory stays flat over a long stream of the user's hand events.
//
//   build/bench/live_desktop_benchmark
//   QUENFOLD_HAND_EVENTS=100000 build/bench/live_desktop_benchmark   # a shorter stream
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "ServedProgram.h"

namespace {

// The served program with a client of its own, Quenfold launched.
class ServedDesktop {
public:
    ServedDesktop() : client_("127.0.0.1", program_.port()) {
        client_.set_keep_alive(true);
        client_.set_tcp_nodelay(true);
        script("default ShowSettingsOnLaunch NO\nlaunch\n");
    }

    void script(const std::string& text) {
        std::string escaped;
        for (char c : text) {
            escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
        }
        client_.Post("/api/script", "{\"text\":\"" + escaped + "\"}", "application/json");
    }
    void hand(const char* action, double x, double y) {
        const std::string body = std::string("{\"action\":\"") + action +
                                 "\",\"x\":" + std::to_string(x) + ",\"y\":" + std::to_string(y) +
                                 "}";
        const httplib::Result answer = client_.Post("/api/hand", body, "application/json");
        if (!answer || answer->status != 200) {
            throw std::runtime_error("a hand request failed");
        }
    }
    double residentMiB() const { return program_.residentMiB(); }

private:
    ServedProgram program_;
    httplib::Client client_;
};

// Safari's Dock item in the demo's world once the system has launched (Safari, TextEdit,
// Downloads, Quenfold): two points 20 apart in it, so that no click counts as a double click.
constexpr double kItemLeftX = 602;
constexpr double kItemRightX = 622;
constexpr double kItemY = 864;

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * (values.size() - 1))];
}

void BM_ClickReleaseToAnswer(benchmark::State& state) {
    ServedDesktop desktop;
    std::vector<double> micros;
    for (auto _ : state) {
        micros.clear();
        for (int click = 0; click < 1000; ++click) {
            const double x = click % 2 == 0 ? kItemLeftX : kItemRightX;
            desktop.hand("press", x, kItemY);
            const auto start = std::chrono::steady_clock::now();
            desktop.hand("release", x, kItemY);
            micros.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                    .count());
        }
    }
    state.counters["release_p50_us"] = percentile(micros, 0.50);
    state.counters["release_p99_us"] = percentile(micros, 0.99);
}
BENCHMARK(BM_ClickReleaseToAnswer)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_HandEventsResidentMemory(benchmark::State& state) {
    const char* configured = std::getenv("QUENFOLD_HAND_EVENTS");
    const long events = configured != nullptr ? std::atol(configured) : 1000000;
    ServedDesktop desktop;
    double atStart = desktop.residentMiB();
    double atTenth = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        // A click as a hand makes it: the pointer moves in, presses, releases, moves out.
        for (long event = 0; event < events; ++event) {
            const long click = event / 4;
            const double x = click % 2 == 0 ? kItemLeftX : kItemRightX;
            switch (event % 4) {
                case 0:
                    desktop.hand("move", x, kItemY - 30);
                    break;
                case 1:
                    desktop.hand("press", x, kItemY);
                    break;
                case 2:
                    desktop.hand("release", x, kItemY);
                    break;
                default:
                    desktop.hand("move", x, 400);
                    break;
            }
            if (event + 1 == events / 10) {
                atTenth = desktop.residentMiB();
            }
        }
    }
    state.counters["hand_events"] = static_cast<double>(events);
    state.counters["rss_start_MiB"] = atStart;
    state.counters["rss_at_10pct_MiB"] = atTenth;
    state.counters["rss_end_MiB"] = desktop.residentMiB();
    state.counters["events_per_s"] =
        static_cast<double>(events) /
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
BENCHMARK(BM_HandEventsResidentMemory)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
