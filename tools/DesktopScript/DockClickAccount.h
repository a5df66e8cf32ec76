// The session's account of a click of the user's hand: what lies under the point, as the
// accessibility toolkit would name it, and, after a left release on a Dock item, what the
// system's Dock-click rule read and what it did. The system itself says nothing: the account is
// drawn from what the session sees at its own interfaces (the events the taps were handed, the
// workspace's answer while the press was handed over, the item under the release, the hide
// requests or their absence).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace sim::script {

// What lies at a point, as the accessibility toolkit sees it: 'the Dock item "Safari"', 'the
// check box "Launch automatically at login"', 'the window "Untitled" of TextEdit', "the desktop".
std::string whatLiesAt(double x, double y);

class DockClickAccount {
public:
    // Around the hand's left press.
    void beforePress();
    void afterPress();
    // Around the hand's left release with its click state. After it: one line on the release
    // on a Dock item (the facts and what the system did), or nothing elsewhere.
    void beforeRelease(long clickState);
    std::optional<std::string> afterRelease(double x, double y);

private:
    struct Counts {
        std::uint64_t handed = 0;          // events of the type handed to the taps
        std::uint64_t workspaceAsked = 0;  // the workspace's active application asked
        int hideRequests = 0;
    };
    Counts before_;
    long clickState_ = 1;
    // What the taps saw of the last left press: whether one was handed it, and the application
    // active at it (0: none) as the workspace told the system, or else as the desktop had it.
    bool pressSeen_ = false;
    pid_t activeAtPress_ = 0;
};

}  // namespace sim::script
