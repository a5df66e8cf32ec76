// How the size of what a session reads grows its cost: a launch whose preference domain holds
// 10^3, 10^4 or 10^5 keys, and a desktop script of 10^3, 10^4 or 10^5 app lines checked up to
// its last line (a name already taken: exit 2). Each runs the program's own road, the desktop
// session from its arguments, and Google Benchmark fits the times to a complexity: linear is
// what both must show. Refusing hostile files is measured too: a binary property list nested
// 100,000 deep and one whose shared references would make 2^40 values.
//
//   build/bench/stored_files_benchmark
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "DesktopScript/DesktopSession.h"
#include "sim/Desktop.h"

namespace {

// A folder of the benchmark's own, removed when it ends.
class Folder {
public:
    Folder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quenfold-bench-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The CPU time per key or line: flat when the cost is linear.
benchmark::Counter perItem(std::int64_t items) {
    return benchmark::Counter(
        static_cast<double>(items),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

int runSession(const std::string& script, const std::string& home) {
    std::istringstream input(script);
    std::ostringstream output;
    std::ostringstream errors;
    if (home.empty()) {
        const char* arguments[] = {"Quenfold", "-SimulatedDesktop", "-"};
        return sim::runDesktopSession(3, arguments, input, output, errors);
    }
    const char* arguments[] = {"Quenfold", "-SimulatedDesktop", "-", "-SimulatedHome",
                               home.c_str()};
    return sim::runDesktopSession(5, arguments, input, output, errors);
}

// A domain as another program leaves it: `keys` integers beside the system's own settings.
void writeDomain(const std::string& home, std::int64_t keys) {
    const std::string folder = home + "/Library/Preferences";
    std::filesystem::create_directories(folder);
    std::ofstream file(folder + "/org.quenfold.Quenfold.plist");
    file << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            "\t<key>ShowSettingsOnLaunch</key>\n\t<false/>\n";
    for (std::int64_t index = 0; index < keys; ++index) {
        file << "\t<key>Counter" << index << "</key>\n\t<integer>" << index << "</integer>\n";
    }
    file << "</dict>\n</plist>\n";
}

void BM_LaunchWithPreferenceKeys(benchmark::State& state) {
    sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    Folder home;
    writeDomain(home.path(), state.range(0));
    for (auto _ : state) {
        if (runSession("launch\nquit\n", home.path()) != 0) {
            state.SkipWithError("the launch failed");
            break;
        }
    }
    sim::reset();
    state.SetComplexityN(state.range(0));
    state.counters["per key"] = perItem(state.range(0));
}
BENCHMARK(BM_LaunchWithPreferenceKeys)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_ValidateAppLines(benchmark::State& state) {
    std::string script;
    for (std::int64_t index = 0; index < state.range(0); ++index) {
        script += "app App" + std::to_string(index) + " pid=" + std::to_string(1000 + index) + "\n";
    }
    script += "app Late pid=1005\n";  // the pid is taken: found at the last line
    for (auto _ : state) {
        if (runSession(script, "") != 2) {
            state.SkipWithError("the script was not refused");
            break;
        }
    }
    sim::reset();
    state.SetComplexityN(state.range(0));
    state.counters["per line"] = perItem(state.range(0));
}
BENCHMARK(BM_ValidateAppLines)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

std::string bigEndian(std::uint64_t value, int width) {
    std::string bytes;
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
        bytes += static_cast<char>((value >> shift) & 0xFF);
    }
    return bytes;
}

// A binary property list of arrays, each holding the objects `children` names.
template <class Children>
std::string arraysFile(std::uint32_t count, Children children) {
    std::string bytes = "bplist00";
    std::string table;
    for (std::uint32_t index = 0; index < count; ++index) {
        table += bigEndian(bytes.size(), 8);
        const std::vector<std::uint32_t> references = children(index);
        bytes += static_cast<char>(0xA0 | references.size());
        for (std::uint32_t reference : references) {
            bytes += bigEndian(reference, 4);
        }
    }
    const std::uint64_t tableOffset = bytes.size();
    return bytes + table + std::string(6, '\0') + "\x08\x04" + bigEndian(count, 8) +
           bigEndian(0, 8) + bigEndian(tableOffset, 8);
}

void BM_RefuseHostileBinaryFile(benchmark::State& state) {
    const bool deep = state.range(0) == 0;
    const std::string bytes =
        deep ? arraysFile(100000,
                          [](std::uint32_t index) {
                              return index + 1 < 100000 ? std::vector<std::uint32_t>{index + 1}
                                                        : std::vector<std::uint32_t>{};
                          })
             : arraysFile(41, [](std::uint32_t index) {
                   return index < 40 ? std::vector<std::uint32_t>{index + 1, index + 1}
                                     : std::vector<std::uint32_t>{};
               });
    state.SetLabel(deep ? "100,000 levels deep" : "2^40 values by shared references");
    for (auto _ : state) {
        std::string error;
        if (frameworks::propertyListFromBytes(bytes, &error)) {
            state.SkipWithError("the file was read");
            break;
        }
    }
}
BENCHMARK(BM_RefuseHostileBinaryFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
