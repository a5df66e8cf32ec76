#include "DesktopScript/DesktopScriptRunner.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

#include "DesktopScript/DesktopScriptSteps.h"
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

RunOutcome runStatements(const Script& script, Story& story) {
    for (const Statement& statement : script.statements) {
        try {
            // Each statement is one turn of the event loop, with its own autorelease pool.
            NSAutoreleasePool pool;
            std::visit([&story](const auto& action) { perform(action, story); }, statement.action);
            settle();
        } catch (const ExpectationFailed& failure) {
            return {kExpectationFailed, statement.line, failure.message};
        } catch (const StepUnusable& unusable) {
            return {kScriptUnusable, statement.line, unusable.message};
        }
    }
    return {};
}

int runDesktopScript(const Script& script, std::ostream& storyOut, std::ostream& errors) {
    Story story(storyOut);
    const TranscriptToStory listening(story);
    const RunOutcome outcome = runStatements(script, story);
    story.flush();
    if (outcome.status != kScriptRan) {
        errors << describeError(script.name, {outcome.line, outcome.message}) << '\n';
    }
    return outcome.status;
}

}  // namespace sim::script
