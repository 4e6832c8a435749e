// The frame counter on a controllable performance counter, the frame clocks, and the
// error report's exact output.
#include "app/shell.h"
#include "app/timer.h"

#include <mmsystem.h>
#include <tavrok/platform.h>

#include "support/stderr_capture.h"

#include <gtest/gtest.h>

namespace {

int64_t g_fakeCounter = 0;
int64_t FakeCounter() { return g_fakeCounter; }

class FrameCounter : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_fakeCounter = 0;
        g_frameCount = 0;
        g_framesPerSecond = 0;
        g_lastSecondCounter = 0;
    }
    void TearDown() override { tavrok::SetPerformanceCounterSource(nullptr, 0); }

    // Ticks once per frame at `fps` frames per second for `frames` frames.
    void RunAt(int fps, int frames)
    {
        for (int i = 0; i < frames; ++i) {
            g_fakeCounter += 1000000 / fps;
            TickFrameCounter();
        }
    }
};

TEST_F(FrameCounter, FirstTickClosesAWindowAndSteadyRatesAreCounted)
{
    tavrok::SetPerformanceCounterSource(FakeCounter, 1000000);  // 1 MHz
    ASSERT_EQ(S_OK, InitFrameCounter());
    EXPECT_EQ(g_frameFrequency, 1000000);

    g_fakeCounter = 5000000;  // the counter has been running for a while
    TickFrameCounter();
    EXPECT_EQ(g_framesPerSecond, 1);  // read-out shows 1 from the very first frame
    EXPECT_EQ(g_frameCount, 0);

    RunAt(100, 99);  // 0.99 s later: the window is still open
    EXPECT_EQ(g_framesPerSecond, 1);
    RunAt(100, 1);  // exactly one second: the window closes, this frame included
    EXPECT_EQ(g_framesPerSecond, 100);
    for (int second = 0; second < 5; ++second) {
        RunAt(100, 100);
        EXPECT_EQ(g_framesPerSecond, 100);
    }
    // At 37 frames per second, 37 frames last 0.999999 s: the window closes only at the
    // 38th tick, which counts itself too.
    RunAt(37, 37);
    EXPECT_EQ(g_framesPerSecond, 100);
    RunAt(37, 1);
    EXPECT_EQ(g_framesPerSecond, 38);
}

TEST_F(FrameCounter, WithoutAPerformanceCounterEveryTickClosesAWindow)
{
    tavrok::SetPerformanceCounterSource(FakeCounter, 0);
    std::string err = testsupport::StderrOf([] {
        EXPECT_EQ(E_FAIL, InitFrameCounter());
        TickFrameCounter();  // the counter reads 0: reported on every tick
        TickFrameCounter();
    });
    const std::string line = "The system does not support high resolution timing\n";
    EXPECT_EQ(err, line + line + line);
    EXPECT_EQ(g_framesPerSecond, 1);
}

TEST(FrameClocks, DeltaExcludesTheFrameAndElapsedStartsAtOne)
{
    g_frameStartTime = timeGetTime();
    g_frameEndTime = 0;
    UpdateFrameClocks();
    // First frame: the delta is the raw start time, elapsed at least 1 ms.
    EXPECT_EQ(g_frameDelta, g_frameStartTime);
    EXPECT_GE(g_elapsed, 1u);
    DWORD start = g_startTime;

    // Frames in the same millisecond still get a delta of 1.
    g_frameEndTime = g_frameStartTime - 1;
    UpdateFrameClocks();
    EXPECT_EQ(g_frameDelta, 1u);
    EXPECT_EQ(g_startTime, start);  // fixed at the first frame
    EXPECT_EQ(g_elapsed, g_now - start);

    // Unsigned wrap: an end time just below 2^32 and a start just above 0.
    g_frameEndTime = 0xFFFFFFF0u;
    g_frameStartTime = 5;
    UpdateFrameClocks();
    EXPECT_EQ(g_frameDelta, 21u);
}

TEST(LogError, WritesPrefixMessageAndNewline)
{
    EXPECT_EQ(testsupport::StderrOf([] { LogError("Couldnt get backbuffer"); }), "ERROR: Couldnt get backbuffer\n");
}

}  // namespace
