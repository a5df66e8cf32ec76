// The live session's story as a stream: every complete line written to it goes to the terminal
// (standard output, which gets every line) and into the ring kept for the clients.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

#include "LiveDesktop/StoryRing.h"

namespace sim::live {

class StoryLineBuffer : public std::streambuf {
public:
    StoryLineBuffer(std::ostream& terminal, StoryRing& ring) : terminal_(terminal), ring_(ring) {}

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    void take(char c);

    std::ostream& terminal_;
    StoryRing& ring_;
    std::string pending_;  // the line being written
};

class StoryStream : public std::ostream {
public:
    StoryStream(std::ostream& terminal, StoryRing& ring)
        : std::ostream(&buffer_), buffer_(terminal, ring) {}

private:
    StoryLineBuffer buffer_;
};

}  // namespace sim::live
