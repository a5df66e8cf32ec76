// The main thread's handoff: work queued by other threads and descriptors the main run loop
// watches, each run as a piece of work of its own, never one inside another.
#include <gtest/gtest.h>
#include <unistd.h>

#include "LiveDesktop/MainThreadHandoff.h"
#include "SessionTest.h"

namespace {

using Handoff = SessionTest;

TEST_F(Handoff, WorkQueuedWhileADescriptorsWorkRunsTheLoopRunsAfterItNotInside) {
    sim::live::MainThreadHandoff handoff;
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    int jobsRun = 0;
    int jobsRunInside = -1;
    std::shared_ptr<void> watch = handoff.watchReadable(pipeEnds[0], [&] {
        char byte = 0;
        EXPECT_EQ(read(pipeEnds[0], &byte, 1), 1);
        ASSERT_TRUE(handoff.post([&] { ++jobsRun; }));
        // The loop run from inside the work performs the handoff's source: the job must wait.
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
        jobsRunInside = jobsRun;
    });
    ASSERT_NE(watch, nullptr);
    ASSERT_EQ(write(pipeEnds[1], "x", 1), 1);

    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(jobsRunInside, 0);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(jobsRun, 1) << "the job runs once the descriptor's work is done";
    EXPECT_EQ(handoff.jobsRun(), 2U);

    watch.reset();
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

}  // namespace
