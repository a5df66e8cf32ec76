#include "LiveDesktop/StoryRing.h"

#include <algorithm>

namespace sim::live {

void StoryRing::append(std::string line) {
    ++told_;
    bytes_ += line.size();
    lines_.push_back(std::move(line));
    // The newest line stays even when it alone is over the byte bound.
    while (lines_.size() > 1 && (lines_.size() > maxLines_ || bytes_ > maxBytes_)) {
        bytes_ -= lines_.front().size();
        lines_.pop_front();
    }
}

StoryRing::Lines StoryRing::linesAfter(std::uint64_t since) const {
    Lines result;
    result.next = told_;
    const std::uint64_t firstKept = told_ - lines_.size() + 1;
    const std::uint64_t from = std::max(since + 1, firstKept);
    if (since >= told_) {
        return result;
    }
    result.lines.assign(lines_.begin() + static_cast<std::ptrdiff_t>(from - firstKept),
                        lines_.end());
    return result;
}

}  // namespace sim::live
