#include "LiveDesktop/LiveSession.h"

#include <algorithm>
#include <cstdio>
#include <random>

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
// How many recent changes are remembered for clients that catch up; one further behind gets the
// whole desktop.
constexpr std::size_t kChangesKept = 256;

// 64 random bits in hexadecimal.
std::string newSessionName() {
    std::random_device source;
    const std::uint64_t bits = (std::uint64_t{source()} << 32) | source();
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

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
    : errors_(errors), storyOut_(terminal, ring_), story_(storyOut_), name_(newSessionName()) {
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
    changes_ = {{version_, {}, ring_.lastLine()}};
    publishedVersion_ = version_;
    publishedStory_ = ring_.lastLine();
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

bool LiveSession::clockMovedSinceNoticed() const {
    return clockNow() != noticedAt_;
}

void LiveSession::noticeChanges() {
    noticedAt_ = clockNow();
    Json state = desktopSnapshot();
    Change change{version_ + 1, {}, 0};
    for (const auto& [part, value] : state.items()) {
        const auto before = lastState_.find(part);
        if (before == lastState_.end() || *before != value) {
            change.parts.push_back(part);
        }
    }
    if (!change.parts.empty()) {
        lastState_ = std::move(state);
        version_ = change.version;
        change.storyLine = ring_.lastLine();
        changes_.push_back(std::move(change));
        if (changes_.size() > kChangesKept) {
            changes_.pop_front();
        }
    }
    publish();
}

Json LiveSession::inspectionAtHand() {
    if (!handAt_) {
        return nullptr;
    }
    return {{"x", handAt_->first},
            {"y", handAt_->second},
            {"element", inspect(handAt_->first, handAt_->second)}};
}

// What changed since the last time: the listener hears of it once. While no one listens nothing
// is built: a client that comes later catches up from the version it has.
void LiveSession::publish() {
    if (!changeListener_) {
        return;
    }
    if (!listening_()) {
        publishedVersion_ = version_;
        publishedStory_ = ring_.lastLine();
        publishedInspection_ = nullptr;
        return;
    }
    Json inspection = inspectionAtHand();
    const bool inspectionChanged = inspection != publishedInspection_;
    if (version_ == publishedVersion_ && ring_.lastLine() == publishedStory_ &&
        !inspectionChanged) {
        return;
    }
    Json event = changesSince(publishedVersion_, publishedStory_);
    if (inspectionChanged) {
        event["inspect"] = inspection;
        publishedInspection_ = std::move(inspection);
    }
    publishedVersion_ = version_;
    publishedStory_ = ring_.lastLine();
    changeListener_(event);
}

Json LiveSession::desktop() const {
    // With room for "whole" and "story" too, which answers add.
    Json answer = objectWithRoom(lastState_.size() + 5);
    answer["version"] = version_;
    answer["time"] = pacedClockNow();
    answer["session"] = name_;
    for (const auto& [key, value] : lastState_.items()) {
        answer[key] = value;
    }
    return answer;
}

Json LiveSession::changesSince(std::optional<std::uint64_t> version,
                               std::optional<std::uint64_t> storyLine,
                               const std::optional<std::string>& session) const {
    const auto known = std::find_if(changes_.begin(), changes_.end(), [&](const Change& change) {
        return version && change.version == *version;
    });
    Json answer;
    const bool otherSession = session && *session != name_;
    if (known == changes_.end() || otherSession) {
        answer = desktop();
        answer["whole"] = true;
        storyLine = otherSession ? 0 : storyLine.value_or(0);
    } else {
        answer = objectWithRoom(lastState_.size() + 5);
        answer["version"] = version_;
        answer["from"] = *version;
        answer["time"] = pacedClockNow();
        for (auto later = std::next(known); later != changes_.end(); ++later) {
            for (const std::string& part : later->parts) {
                answer[part] = lastState_[part];
            }
        }
        storyLine = storyLine.value_or(known->storyLine);
    }
    const StoryRing::Lines lines = ring_.linesAfter(*storyLine);
    answer["story"] = {{"next", lines.next}, {"lines", lines.lines}};
    return answer;
}

Json LiveSession::hand(const HandAction& action) {
    // The answer tells only the action's own story lines: those before it reached the client by
    // its event stream, and a client whose clicks change nothing would otherwise be sent an
    // ever longer story.
    const std::uint64_t toldBefore = ring_.lastLine();
    const auto answer = [&] {
        return action.since ? changesSince(action.since, toldBefore) : desktop();
    };
    if (action.seq) {
        if (lastHandSeq_ && *action.seq <= *lastHandSeq_) {
            return answer();
        }
        lastHandSeq_ = action.seq;
    }
    if (action.releaseModifiers) {
        releaseHeldModifiers();
        noticeChanges();
        return answer();
    }
    if (action.key) {
        key(*action.key, action.holdModifiers);
        noticeChanges();
        return answer();
    }
    handAt_.emplace(action.x, action.y);
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
    noticeChanges();
    return answer();
}

// A held chord is no script statement: its modifiers go down once and stay down, its key goes
// down and up each time; what it changed is recorded when they come up.
void LiveSession::key(const script::KeyStatement& chord, bool holdModifiers) {
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

void LiveSession::releaseHeldModifiers() {
    if (heldModifiers_.empty()) {
        return;
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
    noticeChanges();
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
