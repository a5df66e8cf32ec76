#include "LiveDesktop/StoryStream.h"

namespace sim::live {

void StoryLineBuffer::take(char c) {
    if (c != '\n') {
        pending_ += c;
        return;
    }
    terminal_ << pending_ << '\n';
    ring_.append(std::move(pending_));
    pending_.clear();
}

StoryLineBuffer::int_type StoryLineBuffer::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        take(traits_type::to_char_type(c));
    }
    return traits_type::not_eof(c);
}

std::streamsize StoryLineBuffer::xsputn(const char* text, std::streamsize count) {
    for (std::streamsize i = 0; i < count; ++i) {
        take(text[i]);
    }
    return count;
}

int StoryLineBuffer::sync() {
    terminal_.flush();
    return terminal_ ? 0 : -1;
}

}  // namespace sim::live
