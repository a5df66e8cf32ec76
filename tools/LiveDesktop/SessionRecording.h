// The recording of a live session as a desktop script: the world it started with, then every
// action of the user's hand and every script statement run, each after a wait for the time
// that passed, so that the replay reaches every action, timer and delayed perform at the very
// session time it had live.
//
// Actions happen on whole milliseconds after the action before (see momentFor), so waits read
// "wait 1.25" and reading them back gives exactly the live session's times. Pointer moves with
// nothing between them are kept as the last one only (the system does not see moves; only
// where the pointer ends matters). The statements kept are bounded (kRecordingBytesKept): once
// that is reached the recording ends where it stood, with the expectations of that moment and a
// note that says so, and later actions are only counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim::live {

// About 40,000 statements: hours of a person's clicking, and little enough to hold for good.
inline constexpr std::size_t kRecordingBytesKept = 1 << 20;

// When an action happens on the session's clock, and the wait that reaches it from the end of
// the recorded action before (empty when no time passed).
struct Moment {
    double time = 0;
    std::string wait;
};

class SessionRecording {
public:
    // `startingWorld`: the statements the session started with; `start`: the clock then.
    SessionRecording(std::string startingWorld, double start,
                     std::size_t limit = kRecordingBytesKept);

    // The moment for an action now: the earliest time on whole milliseconds after the recorded
    // action before that the wall clock (`wallNow`) has reached and the clock (`clockNow`) has
    // not passed. A move that follows a move counts from the action before that move, which it
    // replaces.
    Moment momentFor(bool isMove, double wallNow, double clockNow) const;

    // Room for an action with `bytes` of statements at `moment`. When there is none, the
    // recording ends at `moment` with the expectations `stateNow` gives (asked once), and this
    // and every later action is only counted: false.
    bool reserve(const Moment& moment, std::size_t bytes, bool isMove,
                 const std::function<std::string()>& stateNow);
    // The statements of an action that had room, run at `moment`, ending at `end` on the clock.
    void add(const Moment& moment, std::string statements, bool isMove, double end);

    bool full() const { return full_; }
    std::uint64_t actionsLeftOut() const { return leftOut_; }

    // The whole script: the starting world, the actions, then a wait up to `now` and the
    // `expectations` of the desktop at that moment (or where the recording ended, when full).
    std::string text(const Moment& now, const std::string& expectations) const;

private:
    struct Entry {
        double from = 0;  // the clock at the end of the action before
        std::string wait;
        std::string statements;
        bool isMove = false;

        std::size_t bytes() const { return wait.size() + statements.size(); }
    };
    bool replacesLastMove(bool isMove) const;
    static std::string waitLine(const Moment& moment);

    std::string startingWorld_;
    double lastEnd_;
    std::size_t limit_;
    std::vector<Entry> entries_;
    std::size_t bytes_ = 0;
    bool full_ = false;
    std::string ending_;  // when full: the wait to where it ended and its expectations
    double endedAt_ = 0;
    std::uint64_t leftOut_ = 0;
};

}  // namespace sim::live
