/*
 * time.cpp - the clocks: timeGetTime, GetTickCount and the performance counter.
 *
 * All read CLOCK_MONOTONIC, which on Linux counts from boot as the Windows clocks count
 * from system start.  The millisecond clocks wrap at 2^32 like their Windows originals.
 * The performance counter ticks in nanoseconds (frequency 1,000,000,000).  Tests may
 * substitute a counter of their own through tavrok::SetPerformanceCounterSource.
 */
#include <mmsystem.h>

#include <tavrok/platform.h>

#include <ctime>

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

tavrok::CounterSource g_counterSource = nullptr;
int64_t g_counterFrequency = kNanosecondsPerSecond;

int64_t MonotonicNanoseconds()
{
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

void SetPerformanceCounterSource(CounterSource source, int64_t frequency)
{
    g_counterSource = source;
    g_counterFrequency = source ? frequency : kNanosecondsPerSecond;
}

}  // namespace tavrok
