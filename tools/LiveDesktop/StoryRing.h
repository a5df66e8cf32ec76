// The story kept for the live desktop's clients: the most recent lines, numbered from 1 in the
// order they were told. The ring is bounded by a number of lines and of bytes, so a session that
// is served for hours holds flat memory; the oldest lines go first. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace sim::live {

inline constexpr std::size_t kStoryLinesKept = 2000;
inline constexpr std::size_t kStoryBytesKept = 1 << 20;

class StoryRing {
public:
    explicit StoryRing(std::size_t maxLines = kStoryLinesKept,
                       std::size_t maxBytes = kStoryBytesKept)
        : maxLines_(maxLines), maxBytes_(maxBytes) {}

    void append(std::string line);

    struct Lines {
        std::uint64_t next = 0;  // the number of the last line told: ask for the lines after it
        std::vector<std::string> lines;
    };
    // The kept lines numbered after `since` (those dropped already are gone). A `since` beyond
    // the last line (a client of an earlier session) gets no lines and the last number.
    Lines linesAfter(std::uint64_t since) const;

    std::uint64_t lastLine() const { return told_; }

private:
    std::size_t maxLines_;
    std::size_t maxBytes_;
    std::deque<std::string> lines_;
    std::size_t bytes_ = 0;
    std::uint64_t told_ = 0;  // lines told so far; the last kept line has this number
};

}  // namespace sim::live
