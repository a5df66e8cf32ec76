// The live desktop's session on the main thread: what its clients can see and do, one request
// at a time. It tells the story (to the terminal and the ring kept for clients), counts the
// desktop's versions, records what happens, and gives every action its moment on the session's
// clock: while served, the clock is paced by the wall clock between requests; an action moves it
// on to the action's moment (what falls due meanwhile runs at its own time), runs unpaced (a
// script's wait moves the clock at once, as in a script run), and pacing goes on from where the
// action left the clock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ApplicationServices/CGEvent.h"
#include "DesktopScript/DesktopScript.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "LiveDesktop/DesktopSnapshot.h"
#include "LiveDesktop/RecordingStatements.h"
#include "LiveDesktop/SessionRecording.h"
#include "LiveDesktop/StoryRing.h"
#include "LiveDesktop/StoryStream.h"

namespace sim::live {

// The user's hand as a client sends it.
struct HandAction {
    HandKind kind = HandKind::Move;
    double x = 0;
    double y = 0;
    CGEventFlags flags = 0;
    std::vector<std::string> modifiers;  // as named, for the story and the recording
    // The client's own number for the action, growing: an action whose number was carried out
    // already is a retry, answered and not carried out again.
    std::optional<std::uint64_t> seq;
    // The desktop's version the client has: the answer carries only what changed since.
    std::optional<std::uint64_t> since;
    CGMouseButton button = kCGMouseButtonLeft;
    // {"action": "key"}: the chord pressed and released, as a script's `key` statement; the
    // point, the modifiers and the button are then unused.
    std::optional<script::KeyStatement> key;
    // With the key: its modifiers stay down afterwards (Command held while Tab chooses in the
    // application switcher).
    bool holdModifiers = false;
    // {"action": "keyup"}: the modifiers a held chord left down come up.
    bool releaseModifiers = false;
};

// A script a client sent: run (ok, or stopped at `line` for `message`), or refused before
// anything ran because it is malformed or names what the session does not have (`refused`).
struct ScriptAnswer {
    bool refused = false;
    bool ok = true;
    int line = 0;
    std::string message;
};

class LiveSession {
public:
    // The story goes to `terminal` and to the ring; the transcript is listened to from here on.
    // Scripts that stop with an error say so on `errors` too, as a script run does.
    LiveSession(std::ostream& terminal, std::ostream& errors);
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // The script the session starts with, run as a script run runs it (messages on `errors`);
    // its exit status. What the home folder held before it is part of the recording's start.
    int runStartingScript(const script::Script& script, const std::string& text,
                          std::ostream& errors);
    // Serving begins: the recording starts from here, and the clock is paced by the wall clock
    // when `paced`.
    void beginServing(bool paced);
    // Serving ends: the clock is no longer paced, the story is flushed.
    void endServing();

    // The desktop with its version, its time and the session's name; builds nothing.
    Json desktop() const;
    // Counts a version when the desktop is not what it was when last looked at, and tells the
    // listener what changed (parts, story lines, the element under the hand).
    void noticeChanges();
    // Whether the clock has moved since the desktop was last looked at (what fell due then may
    // have changed it).
    bool clockMovedSinceNoticed() const;
    // What changed after `version` (absent: everything): {"version", "from", "time", the parts
    // that changed, "story": {"next", "lines"}}, the story's lines after `storyLine` (absent:
    // after the line told at that version). A version this session has not counted or no longer
    // remembers, or another session's name in `session`, answers the whole desktop with
    // "whole": true and the session's name.
    Json changesSince(std::optional<std::uint64_t> version, std::optional<std::uint64_t> storyLine,
                      const std::optional<std::string>& session = std::nullopt) const;
    // Each change as noticed, once: the changes since the one before, while `listening`.
    void setChangeListener(std::function<void(const Json&)> listener,
                           std::function<bool()> listening) {
        changeListener_ = std::move(listener);
        listening_ = std::move(listening);
    }
    // The hand's press, release or move, and what it changed: the whole desktop, or only what
    // changed since the action's `since` with the action's own story lines. A retry of an
    // action carried out already changes nothing.
    Json hand(const HandAction& action);
    ScriptAnswer runScript(const std::string& text);
    // Accessibility access turns over from what it is when this runs (so two quick toggles
    // cancel out); recorded as the `access` statement it amounts to.
    ScriptAnswer toggleAccess();
    StoryRing::Lines storyAfter(std::uint64_t line) const { return ring_.linesAfter(line); }
    // What the accessibility toolkit answers at a point, or null when there is no element.
    Json inspect(double x, double y);
    std::string recording();

    std::uint64_t version() const { return version_; }
    const std::string& name() const { return name_; }

private:
    void pressHolding(const script::KeyStatement& chord);
    template <class Work>
    void atMoment(const Moment& moment, Work work);
    // The hand presses and releases a chord on the keyboard; recorded as its `key` statement.
    void key(const script::KeyStatement& chord, bool holdModifiers = false);
    // The modifiers a held chord left down come up (the switcher's choice becomes active).
    void releaseHeldModifiers();
    void publish();
    Json inspectionAtHand();

    // A counted version and the parts that changed to make it, with the story's last line then.
    struct Change {
        std::uint64_t version = 0;
        std::vector<std::string> parts;
        std::uint64_t storyLine = 0;
    };

    std::ostream& errors_;
    StoryRing ring_;
    StoryStream storyOut_;
    script::Story story_;
    std::optional<SessionRecording> recording_;
    std::string homeAtStart_;
    std::string startingScript_;
    Json lastState_;
    std::uint64_t version_ = 0;
    // Modifier keys a held chord left down, in the order they went down; and the application
    // active before they did, to record what the switcher changed when they come up.
    std::vector<ModifierKey> heldModifiers_;
    std::optional<pid_t> activeBeforeHold_;
    std::string name_;            // tells this session from another served at the same address
    std::deque<Change> changes_;  // the most recent
    double noticedAt_ = 0;        // the clock when the desktop was last looked at
    std::uint64_t publishedVersion_ = 0;
    std::uint64_t publishedStory_ = 0;
    std::optional<std::pair<double, double>> handAt_;
    Json publishedInspection_;
    std::function<void(const Json&)> changeListener_;
    std::function<bool()> listening_;
    std::optional<std::uint64_t> lastHandSeq_;  // the highest number of a hand action carried out
};

}  // namespace sim::live
