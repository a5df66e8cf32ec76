#include "LiveDesktop/QueuedTerminal.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace sim::live {
namespace {

// How long ending waits for the queue to be written.
constexpr auto kPatienceAtEnd = std::chrono::seconds(2);
// How long the writer gathers lines once one has come: a busy session wakes it once a gathering,
// not once a line, and a person reading the terminal sees no delay.
constexpr auto kGathering = std::chrono::milliseconds(10);

bool writeAll(int fd, const std::string& text) {
    const char* bytes = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

struct QueuedTerminal::Queue {
    int fd = -1;
    std::size_t maxLines = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> lines;
    std::size_t droppedTotal = 0;
    std::size_t droppedUntold = 0;
    bool writing = false;  // the writer holds lines taken from the queue
    bool ending = false;

    void push(std::string line) {
        bool wasEmpty = false;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            wasEmpty = lines.empty();
            if (lines.size() + (droppedUntold > 0 ? 1 : 0) >= maxLines) {
                ++droppedTotal;
                ++droppedUntold;
                return;
            }
            if (droppedUntold > 0) {
                lines.push_back("(" + std::to_string(droppedUntold) +
                                " lines of the story were dropped here: standard output was not "
                                "being read)\n");
                droppedUntold = 0;
            }
            lines.push_back(std::move(line));
        }
        // The writer waits only for an empty queue to fill: it takes every line there is.
        if (wasEmpty) {
            changed.notify_all();
        }
    }

    // The writing thread: everything queued, in order, until the terminal ends.
    void write() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return ending || !lines.empty(); });
            if (lines.empty()) {
                return;
            }
            changed.wait_for(lock, kGathering, [this] { return ending; });
            std::string batch;
            while (!lines.empty()) {
                batch += lines.front();
                lines.pop_front();
            }
            writing = true;
            lock.unlock();
            writeAll(fd, batch);
            lock.lock();
            writing = false;
            changed.notify_all();
        }
    }
};

QueuedTerminal::QueuedTerminal(int fd, std::size_t maxLines)
    : std::ostream(nullptr), queue_(std::make_shared<Queue>()), buffer_(*queue_) {
    queue_->fd = fd;
    queue_->maxLines = maxLines;
    rdbuf(&buffer_);
    std::thread([queue = queue_] { queue->write(); }).detach();
}

QueuedTerminal::~QueuedTerminal() {
    std::unique_lock<std::mutex> lock(queue_->mutex);
    queue_->ending = true;
    queue_->changed.notify_all();
    // A writer still held after this is let go with the process.
    queue_->changed.wait_for(lock, kPatienceAtEnd,
                             [this] { return queue_->lines.empty() && !queue_->writing; });
}

std::size_t QueuedTerminal::droppedLines() const {
    const std::lock_guard<std::mutex> lock(queue_->mutex);
    return queue_->droppedTotal;
}

void QueuedTerminal::LineBuffer::take(char c) {
    pending_ += c;
    if (c == '\n') {
        queue_.push(std::move(pending_));
        pending_.clear();
    }
}

QueuedTerminal::LineBuffer::int_type QueuedTerminal::LineBuffer::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        take(traits_type::to_char_type(c));
    }
    return traits_type::not_eof(c);
}

std::streamsize QueuedTerminal::LineBuffer::xsputn(const char* text, std::streamsize count) {
    for (std::streamsize i = 0; i < count; ++i) {
        take(text[i]);
    }
    return count;
}

}  // namespace sim::live
