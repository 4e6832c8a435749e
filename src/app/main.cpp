/*
 * main.cpp - entry, main window, message loop and the error report.
 *
 * WinMain opens one fixed-size window, builds the scene and then spins: every time the
 * message queue is empty it runs one tick (frame counter, mouse, frame function).  There
 * is no timer and no sleep; Escape or the close box ends the loop.
 */
#include "app/shell.h"

#include "app/frame.h"
#include "app/scene_setup.h"
#include "app/timer.h"
#include "input/input.h"

#include <mmsystem.h>

HINSTANCE g_hInstance = NULL;
HWND g_hWnd = NULL;
const int g_windowWidth = 1024;
const int g_windowHeight = 768;
DWORD g_frameStartTime = 0;
DWORD g_frameEndTime = 0;

static const char *const kClassName = "Tavrok";
static const char *const kWindowTitle = "Tavrok - by Velmor";
static const int kIconResource = 102;

void LogError(const char *message)
{
    OutputDebugStringA("ERROR: ");
    OutputDebugStringA(message);
    OutputDebugStringA("\n");
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        // Frames come only from the loop; the window just stops asking to be painted.
        ValidateRect(hWnd, NULL);
        return 0;
    case WM_KEYDOWN:
        if (GetAsyncKeyState(VK_ESCAPE))
            PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

int FrameTick()
{
    TickFrameCounter();
    g_mouse.Poll();
    UpdateInput();
    g_frameStartTime = timeGetTime();
    Render();
    g_frameEndTime = timeGetTime() - 1;
    // Escape ends the program even when no key message reached the window.
    if (GetAsyncKeyState(VK_ESCAPE))
        PostQuitMessage(0);
    return 0;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd)
{
    CoInitialize(NULL);

    WNDCLASSEXA wc;
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(kIconResource));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = NULL;
    wc.lpszMenuName = NULL;
    wc.lpszClassName = kClassName;
    wc.hIconSm = wc.hIcon;
    if (!RegisterClassExA(&wc))
        return 0;

    HWND hWnd = CreateWindowExA(0, kClassName, kWindowTitle, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                                g_windowWidth, g_windowHeight, NULL, NULL, hInstance, NULL);
    if (!hWnd)
        return 0;
    ShowWindow(hWnd, SW_SHOWNORMAL);
    UpdateWindow(hWnd);

    // The device and the input devices are created with these two handles.
    g_hWnd = hWnd;
    g_hInstance = hInstance;

    if (InitScene(hWnd) < 0) {
        OutputDebugStringA("Initialization Failed");
        OutputDebugStringA("\n");
        Cleanup();
        return E_FAIL;
    }

    ShowCursor(FALSE);

    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            FrameTick();
        }
    }

    Cleanup();
    ShowCursor(TRUE);
    UnregisterClassA(kClassName, hInstance);
    CoUninitialize();
    return 0;
}
