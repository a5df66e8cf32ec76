#include "sim/Transcript.h"

#include <cstdio>

#include "sim/Clock.h"

namespace sim {
namespace {

std::vector<TranscriptLine> gLines;
std::function<void(const TranscriptLine&)> gListener;

}  // namespace

void record(std::string text) {
    if (gLines.size() >= kTranscriptLinesKept) {
        // The older half goes at once, so that dropping costs little per line.
        gLines.erase(gLines.begin(), gLines.begin() + kTranscriptLinesKept / 2);
    }
    gLines.push_back({clockNow(), std::move(text)});
    if (gListener) {
        gListener(gLines.back());
    }
}

const std::vector<TranscriptLine>& transcript() {
    return gLines;
}

void clearTranscript() {
    gLines.clear();
}

void setTranscriptListener(std::function<void(const TranscriptLine&)> listener) {
    gListener = std::move(listener);
}

std::string formatTranscriptLine(const TranscriptLine& line) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%8.3f  ", line.time);
    return stamp + line.text;
}

}  // namespace sim
