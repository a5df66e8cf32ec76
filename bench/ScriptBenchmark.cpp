// What a desktop script costs as it grows: the time of a whole run (read, checked whole, run)
// and the peak of heap memory it takes beside its text, for scripts of many clicks. Memory
// that is a small multiple of the text shows as a flat heap_per_text_byte.
//
//   build/bench/script_benchmark
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>
#include <new>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "DesktopScript/DesktopSession.h"
#include "sim/Desktop.h"

namespace {

// Every allocation of the program, counted by its usable size.
std::size_t gHeapNow = 0;
std::size_t gHeapPeak = 0;

void* counted(void* block) {
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    gHeapNow += malloc_usable_size(block);
    gHeapPeak = std::max(gHeapPeak, gHeapNow);
    return block;
}

// GCC takes the replaced operator new below for the library's own and warns of a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void uncounted(void* block) {
    if (block != nullptr) {
        gHeapNow -= malloc_usable_size(block);
        std::free(block);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return counted(std::malloc(size == 0 ? 1 : size));
}
void* operator new[](std::size_t size) {
    return counted(std::malloc(size == 0 ? 1 : size));
}
void operator delete(void* block) noexcept {
    uncounted(block);
}
void operator delete[](void* block) noexcept {
    uncounted(block);
}
void operator delete(void* block, std::size_t) noexcept {
    uncounted(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    uncounted(block);
}

namespace {

// The story goes nowhere: only the run is measured.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// Two applications and `clicks` clicks on their Dock items, each one switching the active
// application.
std::string clickScript(long clicks) {
    std::string text = "app Safari\napp Notes\nlaunch\n";
    for (long click = 0; click < clicks; ++click) {
        text += click % 2 == 0 ? "click dock:Safari\n" : "click dock:Notes\n";
    }
    return text;
}

void BM_ScriptOfClicks(benchmark::State& state) {
    const std::string text = clickScript(state.range(0));
    NullBuffer nowhere;
    std::ostream out(&nowhere);
    std::size_t peakBeyondText = 0;
    for (auto _ : state) {
        std::istringstream input(text);
        const char* argv[] = {"Quenfold", "-SimulatedDesktop", "-"};
        const std::size_t before = gHeapNow;
        gHeapPeak = gHeapNow;
        const int status = sim::runDesktopSession(3, argv, input, out, out);
        peakBeyondText = gHeapPeak - before;
        if (status != 0) {
            state.SkipWithError("the script did not run to its end");
        }
        sim::reset();
    }
    state.counters["text_bytes"] = static_cast<double>(text.size());
    state.counters["heap_peak_bytes"] = static_cast<double>(peakBeyondText);
    state.counters["heap_per_text_byte"] =
        static_cast<double>(peakBeyondText) / static_cast<double>(text.size());
    state.counters["clicks_per_s"] =
        benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScriptOfClicks)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(200'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
