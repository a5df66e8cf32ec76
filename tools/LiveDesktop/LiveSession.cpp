#include "LiveDesktop/LiveSession.h"

#include <algorithm>

#include <UIElement/UIElement.h>

#include "ApplicationServices/EventSystemInternal.h"
#include "CoreFoundation/CFRunLoop.h"
#include "DesktopScript/DesktopScriptRunner.h"
#include "DesktopScript/DesktopScriptValidator.h"
#include "RetainPtr.h"
#include "TypeCastsCF.h"
#include "control/SystemProcess.h"
#include "control/UserSession.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"
#include "sim/Transcript.h"

namespace sim::live {
namespace {

constexpr const char* kLiveScriptName = "script";

// Runs the session up to `time` on the unpaced clock, as a script's wait does: what falls due
// meanwhile runs at its own time.
void runSessionUntil(double time) {
    while (clockNow() < time) {
        const SInt32 result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, time - clockNow(), false);
        if (result == kCFRunLoopRunFinished || result == kCFRunLoopRunTimedOut) {
            break;
        }
    }
    advanceClockTo(time);
    settle();
}

// Where the session stands, for checking a script against it.
script::ScriptStart sessionAsItStands() {
    script::ScriptStart start;
    for (pid_t pid : desktop().runningPids()) {
        start.running.emplace(desktop().nameOf(pid), pid);
    }
    start.nextPid = desktop().nextPid();
    start.clock = pacedClockNow();
    switch (frameworks::systemState()) {
        case frameworks::SystemState::NotLaunched:
            start.system = script::SystemPhase::NotLaunched;
            break;
        case frameworks::SystemState::Running:
            start.system = script::SystemPhase::Running;
            break;
        case frameworks::SystemState::Terminated:
            start.system = script::SystemPhase::Quit;
            break;
    }
    start.loggedOut = loggedOut();
    start.finder = desktop().finderWanted();
    start.kept = desktop().keptApplicationNames();
    return start;
}

// The text of the lines before `line` (1-based): what ran of a script that stopped there.
std::string linesBefore(const std::string& text, int line) {
    std::size_t end = 0;
    for (int current = 1; current < line && end != std::string::npos; ++current) {
        end = text.find('\n', end);
        end = end == std::string::npos ? end : end + 1;
    }
    return end == std::string::npos ? text : text.substr(0, end);
}

Json valueAsJson(CFTypeRef value) {
    if (value == nullptr) {
        return nullptr;
    }
    if (CFStringRef text = dynamic_cf_cast<CFStringRef>(value)) {
        return text->utf8();
    }
    if (CFURLRef url = dynamic_cf_cast<CFURLRef>(value)) {
        return CFURLGetString(url)->utf8();
    }
    NSString* description = descriptionOfValue(value, false);
    return description != nullptr ? Json(description->utf8()) : Json(nullptr);
}

std::ostream& discarded() {
    static std::ostream nowhere(nullptr);
    return nowhere;
}

}  // namespace

LiveSession::LiveSession(std::ostream& terminal, std::ostream& errors)
    : errors_(errors), storyOut_(terminal, ring_), story_(storyOut_) {
    setTranscriptListener([this](const TranscriptLine& line) { story_.transcriptLine(line); });
}

LiveSession::~LiveSession() {
    setTranscriptListener(nullptr);
    story_.flush();
}

int LiveSession::runStartingScript(const script::Script& script, const std::string& text,
                                   std::ostream& errors) {
    homeAtStart_ = homeFolderStatements();
    startingScript_ = text;
    const script::RunOutcome outcome = script::runStatements(script, story_);
    if (outcome.status == script::kScriptRan) {
        // Finder and the Trash belong to every live desktop, after the world's own applications
        // (so that the first of them is active); the recording's world says so too.
        sim::desktop().startFinder();
        sim::desktop().addTrash();
        settle();
        if (!startingScript_.empty() && startingScript_.back() != '\n') {
            startingScript_ += '\n';
        }
        startingScript_ += "finder\ntrash\n";
    }
    story_.flush();
    if (outcome.status != script::kScriptRan) {
        errors << script::describeError(script.name, {outcome.line, outcome.message}) << '\n';
    }
    return outcome.status;
}

void LiveSession::beginServing(bool paced) {
    std::string world;
    if (!homeAtStart_.empty()) {
        world = "# What the home folder held when the session started\n" + homeAtStart_ + "\n";
    }
    world += "# The world the session started with\n" + startingScript_;
    recording_.emplace(std::move(world), clockNow());
    lastState_ = desktopSnapshot();
    version_ = 1;
    paceClockByWallClock(paced);
}

void LiveSession::endServing() {
    paceClockByWallClock(false);
    story_.flush();
}

template <class Work>
void LiveSession::atMoment(const Moment& moment, Work work) {
    const bool paced = clockIsPaced();
    paceClockByWallClock(false);
    runSessionUntil(moment.time);
    work();
    paceClockByWallClock(paced);
    story_.flush();
}

void LiveSession::noticeChanges() {
    Json state = desktopSnapshot();
    if (state != lastState_) {
        lastState_ = std::move(state);
        ++version_;
    }
}

Json LiveSession::desktop() {
    noticeChanges();
    Json answer;
    answer["version"] = version_;
    answer["time"] = pacedClockNow();
    for (const auto& [key, value] : lastState_.items()) {
        answer[key] = value;
    }
    return answer;
}

Json LiveSession::hand(const HandAction& action) {
    if (action.seq) {
        if (lastHandSeq_ && *action.seq <= *lastHandSeq_) {
            return desktop();
        }
        lastHandSeq_ = action.seq;
    }
    if (action.releaseModifiers) {
        return releaseHeldModifiers();
    }
    if (action.key) {
        return key(*action.key, action.holdModifiers);
    }
    const bool isMove = action.kind == HandKind::Move;
    const Moment moment = recording_->momentFor(isMove, pacedClockNow(), clockNow());
    atMoment(moment, [&] {
        // A release carries the click state the window server counted for its press.
        const long clicks = action.kind == HandKind::Release && action.button == kCGMouseButtonLeft
                                ? frameworks::eventSystem().releaseClickState()
                                : 1;
        const std::string statement =
            handStatement(action.kind, action.x, action.y, clicks, action.modifiers,
                          action.button == kCGMouseButtonLeft    ? "left"
                          : action.button == kCGMouseButtonRight ? "right"
                                                                 : "other");
        const bool recorded =
            recording_->reserve(moment, statement.size() + 1, isMove, expectationsOfSessionNow);
        script::PointerStatement pointer;
        pointer.action = action.kind == HandKind::Press     ? script::PointerAction::Press
                         : action.kind == HandKind::Release ? script::PointerAction::Release
                                                            : script::PointerAction::Move;
        pointer.target.x = action.x;
        pointer.target.y = action.y;
        pointer.clicks = clicks;
        pointer.flags = action.flags;
        pointer.modifiers = action.modifiers;
        pointer.button = action.button;
        {
            NSAutoreleasePool pool;
            // A browser sends a move for every few points the pointer goes: they change nothing
            // a person reads in the story, so they are not told.
            script::Story quiet(discarded());
            script::perform(pointer, isMove ? quiet : story_);
        }
        settle();
        if (recorded) {
            recording_->add(moment, statement, isMove, clockNow());
        }
    });
    return desktop();
}

// A held chord is no script statement: its modifiers go down once and stay down, its key goes
// down and up each time; what it changed is recorded when they come up.
Json LiveSession::key(const script::KeyStatement& chord, bool holdModifiers) {
    if (!holdModifiers && !heldModifiers_.empty()) {
        releaseHeldModifiers();
    }
    const Moment moment = recording_->momentFor(false, pacedClockNow(), clockNow());
    atMoment(moment, [&] {
        if (holdModifiers) {
            pressHolding(chord);
            return;
        }
        const std::string statement = "key " + chord.text;
        const bool recorded =
            recording_->reserve(moment, statement.size() + 1, false, expectationsOfSessionNow);
        {
            NSAutoreleasePool pool;
            script::perform(chord, story_);
        }
        settle();
        if (recorded) {
            recording_->add(moment, statement, false, clockNow());
        }
    });
    return desktop();
}

ScriptAnswer LiveSession::toggleAccess() {
    return runScript(sim::desktop().accessEnabled() ? "access off" : "access on");
}

void LiveSession::pressHolding(const script::KeyStatement& chord) {
    if (heldModifiers_.empty()) {
        activeBeforeHold_ = sim::desktop().activePid();
    }
    story_.tell("the user presses " + chord.text + " and keeps its modifier keys down");
    NSAutoreleasePool pool;
    for (const ModifierKey& modifier : chord.chord.modifiers) {
        if (std::none_of(heldModifiers_.begin(), heldModifiers_.end(),
                         [&](const ModifierKey& held) { return held.code == modifier.code; })) {
            frameworks::eventSystem().pressKey(modifier.code);
            heldModifiers_.push_back(modifier);
            settle();
        }
    }
    frameworks::eventSystem().pressKey(chord.chord.key);
    settle();
    frameworks::eventSystem().releaseKey(chord.chord.key);
    settle();
}

Json LiveSession::releaseHeldModifiers() {
    if (heldModifiers_.empty()) {
        return desktop();
    }
    const Moment moment = recording_->momentFor(false, pacedClockNow(), clockNow());
    atMoment(moment, [&] {
        story_.tell("the user lets go of the modifier keys");
        {
            NSAutoreleasePool pool;
            for (auto it = heldModifiers_.rbegin(); it != heldModifiers_.rend(); ++it) {
                frameworks::eventSystem().releaseKey(it->code);
                settle();
            }
        }
        heldModifiers_.clear();
        // The recording says what the switcher did, as the statement that does the same.
        const std::optional<pid_t> active = sim::desktop().activePid();
        if (active && active != activeBeforeHold_) {
            const std::string statement =
                "activate " + script::quoted(sim::desktop().nameOf(*active));
            if (recording_->reserve(moment, statement.size() + 1, false,
                                    expectationsOfSessionNow)) {
                recording_->add(moment, statement, false, clockNow());
            }
        }
        activeBeforeHold_.reset();
    });
    return desktop();
}

ScriptAnswer LiveSession::runScript(const std::string& sent) {
    // A byte-order mark is no part of the statements, and must not land in the recording's
    // middle.
    const std::string text = sent.rfind("\xEF\xBB\xBF", 0) == 0 ? sent.substr(3) : sent;
    const script::ParsedScript parsed = script::parseDesktopScript(kLiveScriptName, text);
    std::optional<script::ScriptError> error = parsed.error;
    if (!error) {
        error =
            script::validateDesktopScript(parsed.script, script::systemName(), sessionAsItStands());
    }
    if (error) {
        return {true, false, error->line, error->message};
    }
    ScriptAnswer answer;
    const Moment moment = recording_->momentFor(false, pacedClockNow(), clockNow());
    atMoment(moment, [&] {
        const bool recorded =
            recording_->reserve(moment, text.size() + 1, false, expectationsOfSessionNow);
        const script::RunOutcome outcome = script::runStatements(parsed.script, story_);
        if (outcome.status != script::kScriptRan) {
            answer = {false, false, outcome.line, outcome.message};
            story_.flush();
            errors_ << script::describeError(kLiveScriptName, {outcome.line, outcome.message})
                    << '\n';
        }
        const std::string ran = answer.ok ? text : linesBefore(text, outcome.line);
        const bool anyRan = answer.ok ? !parsed.script.statements.empty()
                                      : parsed.script.statements.front().line < outcome.line;
        if (recorded && anyRan) {
            recording_->add(moment, ran, false, clockNow());
        }
    });
    return answer;
}

Json LiveSession::inspect(double x, double y) {
    NSAutoreleasePool pool;
    const RetainPtr<AXUIElementRef> element =
        adoptCF(copyUIElementAtXY(static_cast<float>(x), static_cast<float>(y)));
    if (!element) {
        return nullptr;
    }
    Json answer;
    NSString* lineage = lineageDescriptionOfUIElement(element.get());
    answer["lineage"] = lineage != nullptr ? Json(lineage->utf8()) : Json(nullptr);
    for (CFStringRef attribute :
         {CFSTR("AXRole"), CFSTR("AXSubrole"), CFSTR("AXTitle"), CFSTR("AXURL")}) {
        const RetainPtr<CFTypeRef> value =
            adoptCF(copyValueOfExistingAttribute(attribute, element.get()));
        answer[static_cast<const NSString*>(attribute)->utf8()] = valueAsJson(value.get());
    }
    return answer;
}

std::string LiveSession::recording() {
    // Reading changes nothing, the clock included: the recording ends where the clock stands.
    return recording_->text(recording_->momentFor(false, clockNow(), clockNow()),
                            expectationsOfSessionNow());
}

}  // namespace sim::live
