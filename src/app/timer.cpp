/*
 * timer.cpp - frames per second on the performance counter, and the frame clocks.
 *
 * The counter counts frames in windows of at least one second; each window restarts at
 * the tick that crosses it, so the figure is a frame count, not a corrected rate.  The
 * millisecond clocks come from timeGetTime and wrap with it.
 */
#include "app/timer.h"

#include "app/shell.h"

#include <mmsystem.h>

LONGLONG g_frameFrequency = 0;
int g_frameCount = 0;
int g_framesPerSecond = 0;
LONGLONG g_lastSecondCounter = 0;

DWORD g_frameDelta = 0;
DWORD g_startTime = 0;
DWORD g_now = 0;
DWORD g_elapsed = 0;

static bool s_firstFrameSeen = false;

static void ReportNoHighResolutionTimer()
{
    OutputDebugStringA("The system does not support high resolution timing");
    OutputDebugStringA("\n");
}

HRESULT InitFrameCounter()
{
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    g_frameFrequency = frequency.QuadPart;
    if (g_frameFrequency == 0) {
        ReportNoHighResolutionTimer();
        return E_FAIL;
    }
    return S_OK;
}

void TickFrameCounter()
{
    LARGE_INTEGER now;
    now.QuadPart = 0;
    QueryPerformanceCounter(&now);
    if (now.QuadPart == 0)
        ReportNoHighResolutionTimer();

    g_frameCount += 1;
    // The first tick closes a window at once, since the last window start is still 0.
    if (now.QuadPart - g_lastSecondCounter >= g_frameFrequency) {
        g_framesPerSecond = g_frameCount;
        g_frameCount = 0;
        g_lastSecondCounter = now.QuadPart;
    }
}

void UpdateFrameClocks()
{
    // The frame's own drawing time is not in the delta: it runs from the end of the last
    // frame (less 1 ms) to the start of this one.
    g_frameDelta = g_frameStartTime - g_frameEndTime;
    if (!s_firstFrameSeen) {
        s_firstFrameSeen = true;
        g_startTime = timeGetTime() - 1;
    }
    g_now = timeGetTime();
    g_elapsed = g_now - g_startTime;
}
