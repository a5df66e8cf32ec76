// The live desktop's terminal: the story's lines go to a file descriptor (standard output)
// through a bounded queue that a thread of its own writes out, so that a reader that stops
// reading never holds the session; the writer gathers what comes within a few milliseconds into
// one write, so that a busy session does not wake it for every line. When the queue is full, lines
// are dropped and counted; the count is told on the terminal as soon as there is room again. Ending
// waits a moment for the queue to be written, then lets a writer that is still held go with the
// process.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace sim::live {

inline constexpr std::size_t kTerminalLinesQueued = 4096;

class QueuedTerminal : public std::ostream {
public:
    explicit QueuedTerminal(int fd, std::size_t maxLines = kTerminalLinesQueued);
    ~QueuedTerminal() override;
    QueuedTerminal(const QueuedTerminal&) = delete;
    QueuedTerminal& operator=(const QueuedTerminal&) = delete;

    // Lines dropped so far because the queue was full.
    std::size_t droppedLines() const;

private:
    struct Queue;
    class LineBuffer : public std::streambuf {
    public:
        explicit LineBuffer(Queue& queue) : queue_(queue) {}

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* text, std::streamsize count) override;

    private:
        void take(char c);
        Queue& queue_;
        std::string pending_;
    };

    std::shared_ptr<Queue> queue_;  // shared with the writing thread, which may outlive this
    LineBuffer buffer_;
};

}  // namespace sim::live
