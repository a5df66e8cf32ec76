#include "CoreServices/FileReferencesInternal.h"

#include <cstdint>
#include <cstring>
#include <map>

#include "Foundation/Foundation.h"
#include "sim/Desktop.h"

namespace frameworks {

using namespace sim;
namespace {

// A reference holds a marker, so that zeroed or foreign bytes are not taken for one, and a
// number that is never used twice in the process.
constexpr std::uint64_t kMarker = 0x5146'4653'5245'4621ULL;

struct Registry {
    std::map<std::string, std::uint64_t> numberOfPath;
    std::map<std::uint64_t, std::string> pathOfNumber;
    std::uint64_t next = 1;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

void resetFileReferences() {
    registry().numberOfPath.clear();
    registry().pathOfNumber.clear();
}

void fillFileReference(const std::string& path, FSRef* reference) {
    Registry& known = registry();
    auto found = known.numberOfPath.find(path);
    if (found == known.numberOfPath.end()) {
        found = known.numberOfPath.emplace(path, known.next++).first;
        known.pathOfNumber.emplace(found->second, path);
    }
    std::memset(reference->hidden, 0, sizeof reference->hidden);
    std::memcpy(reference->hidden, &kMarker, sizeof kMarker);
    std::memcpy(reference->hidden + sizeof kMarker, &found->second, sizeof found->second);
}

std::optional<std::string> pathOfFileReference(const FSRef* reference) {
    std::uint64_t marker = 0;
    std::uint64_t number = 0;
    std::memcpy(&marker, reference->hidden, sizeof marker);
    std::memcpy(&number, reference->hidden + sizeof marker, sizeof number);
    if (marker != kMarker) {
        return std::nullopt;
    }
    const auto found = registry().pathOfNumber.find(number);
    if (found == registry().pathOfNumber.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace frameworks
