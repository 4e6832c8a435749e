/*
 * mmsystem.h - the multimedia timer: timeGetTime and the period calls.
 * Implemented by platform/win32 on the monotonic clock.
 */
#ifndef TAVROK_MMSYSTEM_H
#define TAVROK_MMSYSTEM_H

#include <windows.h>

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

#ifdef __cplusplus
extern "C" {
#endif
DWORD WINAPI timeGetTime(void);
UINT WINAPI timeBeginPeriod(UINT uPeriod);
UINT WINAPI timeEndPeriod(UINT uPeriod);
#ifdef __cplusplus
}
#endif

#endif
