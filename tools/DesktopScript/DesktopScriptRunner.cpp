#include "DesktopScript/DesktopScriptRunner.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>

#include "DesktopScript/DesktopScriptSteps.h"
#include "Foundation/Foundation.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"

namespace sim::script {

void Story::transcriptLine(const TranscriptLine& line) {
    out_ << formatTranscriptLine(line) << '\n';
}

void Story::tell(const std::string& text) {
    stamped("> " + text);
}

void Story::confirm(const std::string& text) {
    stamped("= " + text);
}

void Story::explain(const std::string& text) {
    stamped("* " + text);
}

void Story::flush() {
    out_.flush();
}

void Story::stamped(const std::string& text) {
    out_ << formatTranscriptLine({clockNow(), text}) << '\n';
}

std::string systemName() {
    return std::filesystem::path(mainBundlePath()).stem().string();
}

pid_t pidNamed(const std::string& name) {
    const std::optional<pid_t> pid = desktop().pidNamed(name);
    if (!pid) {
        throw StepUnusable{"no application named " + quoted(name) + " is running"};
    }
    return *pid;
}

std::string formatNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string result = text;
    while (result.back() == '0') {
        result.pop_back();
    }
    if (result.back() == '.') {
        result.pop_back();
    }
    return result == "-0" ? "0" : result;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string folderOf(const ItemPath& path) {
    return withoutTrailingSlash(path.self ? mainBundlePath() : path.path);
}

std::string describeItemPath(const ItemPath& path) {
    return path.self ? systemName() + "'s own bundle" : withoutTrailingSlash(path.path);
}

namespace {

// The transcript goes to the story while the run lasts, and no longer: the story does not
// outlive the run.
class TranscriptToStory {
public:
    explicit TranscriptToStory(Story& story) {
        setTranscriptListener([&story](const TranscriptLine& line) { story.transcriptLine(line); });
    }
    ~TranscriptToStory() { setTranscriptListener(nullptr); }
    TranscriptToStory(const TranscriptToStory&) = delete;
    TranscriptToStory& operator=(const TranscriptToStory&) = delete;
};

}  // namespace

namespace {

// Carries out one statement as one turn of the event loop, with its own autorelease pool, and
// settles the session; where the run stops, when it stops here.
std::optional<RunOutcome> runStatement(const Statement& statement, Story& story) {
    try {
        NSAutoreleasePool pool;
        std::visit([&story](const auto& action) { perform(action, story); }, statement.action);
        settle();
        return std::nullopt;
    } catch (const ExpectationFailed& failure) {
        return RunOutcome{kExpectationFailed, statement.line, failure.message};
    } catch (const StepUnusable& unusable) {
        return RunOutcome{kScriptUnusable, statement.line, unusable.message};
    }
}

int finish(const std::string& scriptName, const RunOutcome& outcome, Story& story,
           std::ostream& errors) {
    story.flush();
    if (outcome.status != kScriptRan) {
        errors << describeError(scriptName, {outcome.line, outcome.message}) << '\n';
    }
    return outcome.status;
}

}  // namespace

RunOutcome runStatements(const Script& script, Story& story) {
    for (const Statement& statement : script.statements) {
        if (std::optional<RunOutcome> stopped = runStatement(statement, story)) {
            return *stopped;
        }
    }
    return {};
}

int runDesktopScript(const Script& script, std::ostream& storyOut, std::ostream& errors) {
    Story story(storyOut);
    const TranscriptToStory listening(story);
    return finish(script.name, runStatements(script, story), story, errors);
}

int runDesktopScript(const std::string& name, std::string_view text, std::ostream& storyOut,
                     std::ostream& errors) {
    Story story(storyOut);
    const TranscriptToStory listening(story);
    std::optional<RunOutcome> stopped;
    const std::optional<ScriptError> malformed = readStatements(text, [&](Statement&& statement) {
        stopped = runStatement(statement, story);
        return !stopped.has_value();
    });
    if (malformed && !stopped) {
        // The text was checked whole before it ran: not reached with the same text.
        stopped = RunOutcome{kScriptUnusable, malformed->line, malformed->message};
    }
    return finish(name, stopped.value_or(RunOutcome{}), story, errors);
}

}  // namespace sim::script
