/*
 * timer.h - the frames-per-second counter and the millisecond clocks of each frame.
 */
#ifndef TAVROK_APP_TIMER_H
#define TAVROK_APP_TIMER_H

#include <windows.h>

extern LONGLONG g_frameFrequency;
extern int g_frameCount;
extern int g_framesPerSecond;
extern LONGLONG g_lastSecondCounter;

extern DWORD g_frameDelta;
extern DWORD g_startTime;
extern DWORD g_now;
extern DWORD g_elapsed;

HRESULT InitFrameCounter();
void TickFrameCounter();
// The clock step that opens every frame: delta, start time (first frame only), now, elapsed.
void UpdateFrameClocks();

#endif
