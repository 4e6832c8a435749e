/*
 * shell.h - the program's entry, main window and message loop, and its error report.
 */
#ifndef TAVROK_APP_SHELL_H
#define TAVROK_APP_SHELL_H

#include <windows.h>

extern HINSTANCE g_hInstance;
extern HWND g_hWnd;
extern const int g_windowWidth;
extern const int g_windowHeight;
extern DWORD g_frameStartTime;
extern DWORD g_frameEndTime;

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
int FrameTick();
void LogError(const char *message);

#endif
