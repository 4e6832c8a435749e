/*
 * time.cpp - the clocks: timeGetTime, GetTickCount and the performance counter.
 *
 * All read CLOCK_MONOTONIC, which on Linux counts from boot as the Windows clocks count
 * from system start.  The millisecond clocks wrap at 2^32 like their Windows originals.
 * The performance counter ticks in nanoseconds (frequency 1,000,000,000).  Tests may
 * substitute a counter of their own through tavrok::SetPerformanceCounterSource.
 *
 * With TAVROK_VIRTUAL_CLOCK=<milliseconds> (a decimal fraction allowed) every clock reads a
 * virtual time instead, which starts at 10 s and moves on by that step each time the
 * Direct3D device presents a frame, and not otherwise: a run's timing then depends on the
 * frames it draws, not on how fast the machine draws them.
 */
#include <mmsystem.h>

#include <tavrok/platform.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

tavrok::CounterSource g_counterSource = nullptr;
int64_t g_counterFrequency = kNanosecondsPerSecond;

struct VirtualClock {
    bool on = false;
    int64_t step = 0;  // nanoseconds per presented frame
    int64_t now = 10 * kNanosecondsPerSecond;
    uint64_t frames = 0;

    VirtualClock()
    {
        const char *setting = tavrok::EnvSwitch("TAVROK_VIRTUAL_CLOCK");
        if (!setting)
            return;
        char *end = nullptr;
        double ms = strtod(setting, &end);
        if (*end != '\0' || !std::isfinite(ms) || ms <= 0 || ms > 60000) {
            tavrok::Diagnostic("win32", "", "",
                               std::string("TAVROK_VIRTUAL_CLOCK: \"") + setting +
                                   "\" is not a step in milliseconds; the system clock is used");
            return;
        }
        on = true;
        step = int64_t(std::llround(ms * 1e6));
    }
};

VirtualClock &Virtual()
{
    static VirtualClock clock;
    return clock;
}

int64_t MonotonicNanoseconds()
{
    const VirtualClock &clock = Virtual();
    if (clock.on)
        return clock.now;
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * kNanosecondsPerSecond + ts.tv_nsec;
}

DWORD Milliseconds() { return DWORD(uint64_t(MonotonicNanoseconds() / 1000000)); }

}  // namespace

extern "C" DWORD WINAPI timeGetTime(void) { return Milliseconds(); }
extern "C" UINT WINAPI timeBeginPeriod(UINT period) { return period ? TIMERR_NOERROR : TIMERR_NOCANDO; }
extern "C" UINT WINAPI timeEndPeriod(UINT period) { return period ? TIMERR_NOERROR : TIMERR_NOCANDO; }
extern "C" DWORD WINAPI GetTickCount(void) { return Milliseconds(); }

extern "C" BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *frequency)
{
    if (!frequency)
        return FALSE;
    frequency->QuadPart = g_counterFrequency;
    return g_counterFrequency != 0;
}

extern "C" BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *count)
{
    if (!count)
        return FALSE;
    count->QuadPart = g_counterSource ? g_counterSource() : MonotonicNanoseconds();
    return TRUE;
}

extern "C" void WINAPI Sleep(DWORD milliseconds)
{
    timespec ts{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

namespace tavrok {

void FramePresented()
{
    VirtualClock &clock = Virtual();
    clock.frames++;
    if (clock.on)
        clock.now += clock.step;
}

uint64_t PresentedFrames() { return Virtual().frames; }

void SetPerformanceCounterSource(CounterSource source, int64_t frequency)
{
    g_counterSource = source;
    g_counterFrequency = source ? frequency : kNanosecondsPerSecond;
}

}  // namespace tavrok
