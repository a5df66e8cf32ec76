#include "LiveDesktop/StopSignals.h"

#include <pthread.h>

namespace sim::live {

StopSignals::StopSignals(std::function<void()> onSignal) {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &watched_, &previousMask_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previousPipe_);
    watcher_ = std::thread([this, onSignal = std::move(onSignal)] {
        int signal = 0;
        sigwait(&watched_, &signal);
        if (!ending_.exchange(true)) {
            onSignal();
        }
    });
}

StopSignals::~StopSignals() {
    // No signal came: one of our own, to this thread only, ends its wait. The thread blocks
    // SIGTERM and takes it in sigwait, so it ends the wait, never the thread or the process.
    if (!ending_.exchange(true)) {
        // NOLINTNEXTLINE(bugprone-bad-signal-to-kill-thread): taken by sigwait, as said above
        pthread_kill(watcher_.native_handle(), SIGTERM);
    }
    watcher_.join();
    sigaction(SIGPIPE, &previousPipe_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace sim::live
