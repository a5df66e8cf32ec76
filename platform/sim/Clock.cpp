// The session's clock, paced by the wall clock while a live desktop serves it, and the turn
// the main run loop gives the rest of the world after each pass.
#include "sim/Clock.h"

#include <algorithm>

namespace sim {

namespace {

void (*gWorldTurn)() = nullptr;

double gNow = 0;

// Pacing: the wall clock's instant and the session time it stands for.
bool gPaced = false;
std::chrono::steady_clock::time_point gPaceStartWall;
double gPaceStartTime = 0;

constexpr double kFarAheadSeconds = 365.0 * 24 * 3600;

}  // namespace

double clockNow() {
    return gNow;
}

void advanceClockTo(double seconds) {
    gNow = std::max(gNow, seconds);
}

void resetClock() {
    gNow = 0;
    gPaced = false;
}

void paceClockByWallClock(bool paced) {
    gPaced = paced;
    if (paced) {
        gPaceStartWall = std::chrono::steady_clock::now();
        gPaceStartTime = gNow;
    }
}

bool clockIsPaced() {
    return gPaced;
}

double pacedClockNow() {
    if (!gPaced) {
        return gNow;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - gPaceStartWall;
    return std::max(gNow, gPaceStartTime + elapsed.count());
}

std::chrono::steady_clock::time_point wallInstantOf(double seconds) {
    const double ahead = std::clamp(seconds - gPaceStartTime, 0.0, kFarAheadSeconds);
    return gPaceStartWall + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(ahead));
}

void setWorldTurn(void (*turn)()) {
    gWorldTurn = turn;
}

void worldTurn() {
    if (gWorldTurn != nullptr) {
        gWorldTurn();
    }
}

}  // namespace sim
