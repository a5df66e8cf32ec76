#include "LiveDesktop/SessionRecording.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "DesktopScript/DesktopScriptWords.h"
#include "LiveDesktop/RecordingStatements.h"

namespace sim::live {

SessionRecording::SessionRecording(std::string startingWorld, double start, std::size_t limit)
    : startingWorld_(std::move(startingWorld)), lastEnd_(start), limit_(limit) {
    if (!startingWorld_.empty() && startingWorld_.back() != '\n') {
        startingWorld_ += '\n';
    }
}

bool SessionRecording::replacesLastMove(bool isMove) const {
    return isMove && !full_ && !entries_.empty() && entries_.back().isMove;
}

Moment SessionRecording::momentFor(bool isMove, double wallNow, double clockNow) const {
    const double from = replacesLastMove(isMove) ? entries_.back().from : lastEnd_;
    const double reached = std::max(wallNow, clockNow) - from;
    constexpr double kMillisecondsWritten = 1e12;  // beyond, whole milliseconds no longer add up
    if (reached * 1000 < kMillisecondsWritten) {
        std::uint64_t milliseconds =
            reached > 0 ? static_cast<std::uint64_t>(std::floor(reached * 1000)) : 0;
        // The time is what a script's wait computes: the clock then plus the wait as it reads.
        for (int step = 0; step < 1000; ++step, ++milliseconds) {
            const std::string wait = millisecondsInSeconds(milliseconds);
            const double time = from + script::decimalNumber(wait).value_or(0);
            if (time >= clockNow) {
                return {time, milliseconds == 0 ? std::string() : wait};
            }
        }
    }
    // A clock far ahead (a script waited for ages): the exact difference, however it reads.
    double wait = std::max(0.0, clockNow - from);
    while (from + wait < clockNow) {
        wait = std::nextafter(wait, std::numeric_limits<double>::infinity());
    }
    return {from + wait, wait == 0 ? std::string() : exactDecimal(wait)};
}

std::string SessionRecording::waitLine(const Moment& moment) {
    return moment.wait.empty() ? std::string() : "wait " + moment.wait + "\n";
}

bool SessionRecording::reserve(const Moment& moment, std::size_t bytes, bool isMove,
                               const std::function<std::string()>& stateNow) {
    if (full_) {
        ++leftOut_;
        return false;
    }
    const std::size_t replaced = replacesLastMove(isMove) ? entries_.back().bytes() : 0;
    if (bytes_ - replaced + waitLine(moment).size() + bytes <= limit_) {
        return true;
    }
    full_ = true;
    leftOut_ = 1;
    endedAt_ = moment.time;
    ending_ = waitLine(moment) + stateNow();
    return false;
}

void SessionRecording::add(const Moment& moment, std::string statements, bool isMove, double end) {
    if (!statements.empty() && statements.back() != '\n') {
        statements += '\n';
    }
    Entry entry{lastEnd_, waitLine(moment), std::move(statements), isMove};
    if (replacesLastMove(isMove)) {
        entry.from = entries_.back().from;
        bytes_ -= entries_.back().bytes();
        entries_.pop_back();
    }
    bytes_ += entry.bytes();
    entries_.push_back(std::move(entry));
    lastEnd_ = end;
}

std::string SessionRecording::text(const Moment& now, const std::string& expectations) const {
    std::string text =
        "# The live desktop's session as a desktop script: the world it started with, what the\n"
        "# user and the scripts did, and what the desktop shows at the end. It replays with\n"
        "#   Quenfold.app/Contents/MacOS/Quenfold -SimulatedDesktop FILE\n";
    if (full_) {
        const std::string limit = limit_ >= (1u << 20) ? std::to_string(limit_ >> 20) + " MiB"
                                                       : std::to_string(limit_) + " bytes";
        text += "# It holds the session up to " + exactDecimal(endedAt_) +
                " s only: a recording keeps at most " + limit + " of statements,\n# and the " +
                std::to_string(leftOut_) +
                " actions after that are left out. It replays to that point.\n";
    }
    text += "\n" + startingWorld_ + "\n# Live\n";
    for (const Entry& entry : entries_) {
        text += entry.wait + entry.statements;
    }
    text += "\n# The desktop at the end\n";
    text += full_ ? ending_ : waitLine(now) + expectations;
    return text;
}

}  // namespace sim::live
