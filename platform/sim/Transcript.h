// The transcript: one line for every observable change of the desktop, stamped with the
// virtual time. The desktop-script runner prints it; the system itself logs nothing.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace sim {

struct TranscriptLine {
    double time;  // seconds since the session started
    std::string text;
};

// How many recent lines the session keeps (a session served for hours must not grow); the
// listener sees every line.
inline constexpr std::size_t kTranscriptLinesKept = 10000;

void record(std::string text);
// The most recent lines, oldest first: at most kTranscriptLinesKept.
const std::vector<TranscriptLine>& transcript();
void clearTranscript();
// Called with every new line as it is recorded (the runner prints them as they come).
void setTranscriptListener(std::function<void(const TranscriptLine&)> listener);
// "   0.500  Safari is hidden"
std::string formatTranscriptLine(const TranscriptLine& line);

}  // namespace sim
